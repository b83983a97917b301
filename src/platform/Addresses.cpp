// The address work both platforms do alike: parsing dotted text, the
// system's look-up, and the IPv4 calls carried out as calls for an address
// of either family. Only the error numbers differ.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#endif

#include <cstdio>
#include <cstring>

#include "platform/SockaddrIn.h"
#include "platform/Sockets.h"

namespace tcpmodbus {
namespace platform {
namespace {

#ifdef _WIN32
constexpr int kInvalidArgument = WSAEINVAL;
constexpr int kNoAddress = WSANO_DATA;
#else
constexpr int kInvalidArgument = EINVAL;
constexpr int kNoAddress = EAI_NONAME;
#endif

// A system address of `length` bytes as a SocketAddress; false for a
// family other than IPv4 and IPv6.
bool FromSystemAddress(const sockaddr* address, std::size_t length,
                       SocketAddress* result) {
  const bool ipv4 = address->sa_family == AF_INET;
  if ((!ipv4 && address->sa_family != AF_INET6) ||
      length > sizeof(result->bytes)) {
    return false;
  }
  *result = SocketAddress();
  result->family = ipv4 ? Family::kIpv4 : Family::kIpv6;
  result->length = static_cast<std::uint8_t>(length);
  std::memcpy(result->bytes, address, length);
  return true;
}

// `address` as the sockaddr_in it has the layout of.
SocketAddress FromIpv4(const Ipv4SocketAddress& address) {
  sockaddr_in system;
  std::memset(&system, 0, sizeof(system));
  system.sin_family = address.family;
  system.sin_port = address.port;
  std::memcpy(&system.sin_addr, address.address, sizeof(address.address));
  SocketAddress result;
  result.length = sizeof(system);
  std::memcpy(result.bytes, &system, sizeof(system));
  return result;
}

// Whether a look-up's list holds `address` already (a hosts file may list
// one address twice).
bool Listed(const AddressList& list, const SocketAddress& address) {
  for (int i = 0; i < list.count; ++i) {
    if (list.entries[i].length == address.length &&
        std::memcmp(list.entries[i].bytes, address.bytes, address.length) ==
            0) {
      return true;
    }
  }
  return false;
}

}  // namespace

IoResult OpenTcpSocket(SocketHandle* handle) {
  return OpenStreamSocket(Family::kIpv4, handle);
}

IoResult BindSocket(SocketHandle socket, const Ipv4SocketAddress& local) {
  return BindAddress(socket, FromIpv4(local));
}

IoResult ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server,
                       unsigned timeoutMs, const CancelFlag* cancel) {
  return ConnectAddress(socket, FromIpv4(server), timeoutMs, cancel);
}

IoResult ParseIpv4(const char* text, std::uint8_t address[4]) {
  return ::inet_pton(AF_INET, text, address) == 1
             ? IoResult::Done()
             : IoResult::Failed(kInvalidArgument);
}

IoResult LookUpAddresses(const char* host, std::uint16_t port,
                         AddressList* list) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (host == nullptr ? AI_PASSIVE : 0);
  // Not std::to_string: its table of digits would be exported with the
  // library.
  char service[8];
  std::snprintf(service, sizeof(service), "%u", static_cast<unsigned>(port));
  addrinfo* found = nullptr;
  const int looked = ::getaddrinfo(host, service, &hints, &found);
  if (looked != 0) return IoResult::Failed(looked);
  list->count = 0;
  for (const addrinfo* entry = found;
       entry != nullptr && list->count < kMaxAddresses;
       entry = entry->ai_next) {
    SocketAddress address;
    if (FromSystemAddress(entry->ai_addr, entry->ai_addrlen, &address) &&
        !Listed(*list, address)) {
      list->entries[list->count++] = address;
    }
  }
  ::freeaddrinfo(found);
  return list->count > 0 ? IoResult::Done() : IoResult::Failed(kNoAddress);
}

}  // namespace platform
}  // namespace tcpmodbus
