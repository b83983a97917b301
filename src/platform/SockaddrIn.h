// What both platform files do with the system's socket addresses, written
// once: the conversion to the system's own storage, and the test for
// a socket connected to itself. Include after the system's socket headers.
#ifndef TCPMODBUS_PLATFORM_SOCKADDRIN_H_
#define TCPMODBUS_PLATFORM_SOCKADDRIN_H_

#include <cstring>

#include "platform/Sockets.h"

namespace tcpmodbus {
namespace platform {

template <typename SockaddrIn>
bool SameEndpoint(const SockaddrIn& a, const SockaddrIn& b) {
  return a.sin_family == b.sin_family && a.sin_port == b.sin_port &&
         std::memcmp(&a.sin_addr, &b.sin_addr, sizeof(a.sin_addr)) == 0;
}

static_assert(sizeof(sockaddr_in6) <= sizeof(SocketAddress::bytes),
              "a sockaddr_in6 must fit a SocketAddress");

// `address` in the system's own storage.
inline sockaddr_storage ToStorage(const SocketAddress& address) {
  sockaddr_storage result;
  std::memset(&result, 0, sizeof(result));
  std::memcpy(&result, address.bytes, address.length);
  return result;
}

inline bool SameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b) {
  if (a.ss_family != AF_INET6 || b.ss_family != AF_INET6) {
    return SameEndpoint(reinterpret_cast<const sockaddr_in&>(a),
                        reinterpret_cast<const sockaddr_in&>(b));
  }
  const auto& a6 = reinterpret_cast<const sockaddr_in6&>(a);
  const auto& b6 = reinterpret_cast<const sockaddr_in6&>(b);
  return a6.sin6_port == b6.sin6_port &&
         std::memcmp(&a6.sin6_addr, &b6.sin6_addr, sizeof(a6.sin6_addr)) == 0;
}

}  // namespace platform
}  // namespace tcpmodbus

#endif  // TCPMODBUS_PLATFORM_SOCKADDRIN_H_
