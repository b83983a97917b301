// What both platform files do with the system's sockaddr_in, written once:
// the conversion from the platform-neutral address, and the test for a
// socket connected to itself. Include after the system's socket headers.
#ifndef TCPMODBUS_PLATFORM_SOCKADDRIN_H_
#define TCPMODBUS_PLATFORM_SOCKADDRIN_H_

#include <cstring>

#include "platform/Sockets.h"

namespace tcpmodbus {
namespace platform {

template <typename SockaddrIn>
SockaddrIn ToSockaddrIn(const Ipv4SocketAddress& address) {
  SockaddrIn result;
  std::memset(&result, 0, sizeof(result));
  result.sin_family = address.family;
  result.sin_port = address.port;
  std::memcpy(&result.sin_addr, address.address, sizeof(address.address));
  return result;
}

template <typename SockaddrIn>
bool SameEndpoint(const SockaddrIn& a, const SockaddrIn& b) {
  return a.sin_family == b.sin_family && a.sin_port == b.sin_port &&
         std::memcmp(&a.sin_addr, &b.sin_addr, sizeof(a.sin_addr)) == 0;
}

}  // namespace platform
}  // namespace tcpmodbus

#endif  // TCPMODBUS_PLATFORM_SOCKADDRIN_H_
