// Windows Sockets 2 behind the platform interface.
//
// The library never starts or stops Windows Sockets: the host calls
// WSAStartup before its first Initialize and WSACleanup after its last
// object is gone. Error numbers are Winsock's own (WSAGetLastError), so a
// refused connection reads "Error(10061)".
//
// gethostbyname and gethostbyaddr answer into storage that Winsock keeps per
// thread; the answer is copied out at once, before any other sockets call on
// the same thread can replace it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <cstring>

#include "platform/Sockets.h"

namespace platform {
namespace {

static_assert(sizeof(SOCKET) <= sizeof(SocketHandle),
              "a SOCKET must fit the handle");
static_assert(sizeof(sockaddr_in) == sizeof(Ipv4SocketAddress),
              "sockaddr_in must match the platform address");
static_assert(AF_INET == kAfInet, "AF_INET must be 2");
static_assert(SOCKET_ERROR == kSocketError, "SOCKET_ERROR must be -1");
static_assert(static_cast<SocketHandle>(INVALID_SOCKET) == kInvalidSocket,
              "INVALID_SOCKET must be the invalid handle");

SOCKET ToSocket(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in ToSockaddr(const Ipv4SocketAddress& address) {
  sockaddr_in result;
  std::memset(&result, 0, sizeof(result));
  result.sin_family = address.family;
  result.sin_port = address.port;
  std::memcpy(&result.sin_addr, address.address, sizeof(address.address));
  return result;
}

// Copies the first address of a lookup's answer: h_length bytes (at most
// four) and h_addrtype. False when the answer lists no address.
bool CopyFirstAddress(const hostent* answer, HostAddress* result) {
  if (answer == nullptr || answer->h_addr_list == nullptr ||
      answer->h_addr_list[0] == nullptr || answer->h_length <= 0) {
    return false;
  }
  std::size_t length = static_cast<std::size_t>(answer->h_length);
  if (length > sizeof(result->address)) length = sizeof(result->address);
  std::memset(result->address, 0, sizeof(result->address));
  std::memcpy(result->address, answer->h_addr_list[0], length);
  result->family = static_cast<std::uint16_t>(answer->h_addrtype);
  return true;
}

}  // namespace

SocketHandle OpenTcpSocket() {
  // Overlapped sockets still block in send, recv and connect; the flag only
  // allows overlapped I/O, which the library does not use.
  const SOCKET socket = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr,
                                     0, WSA_FLAG_OVERLAPPED);
  return static_cast<SocketHandle>(socket);
}

int BindSocket(SocketHandle socket, const Ipv4SocketAddress& local) {
  const sockaddr_in address = ToSockaddr(local);
  return ::bind(ToSocket(socket), reinterpret_cast<const sockaddr*>(&address),
                sizeof(address)) == 0
             ? 0
             : kSocketError;
}

int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server) {
  const sockaddr_in address = ToSockaddr(server);
  return ::connect(ToSocket(socket),
                   reinterpret_cast<const sockaddr*>(&address),
                   sizeof(address)) == 0
             ? 0
             : kSocketError;
}

int WaitWritable(SocketHandle socket, unsigned seconds) {
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(ToSocket(socket), &writable);
  timeval timeout;
  timeout.tv_sec = seconds > static_cast<unsigned>(LONG_MAX)
                       ? LONG_MAX
                       : static_cast<long>(seconds);
  timeout.tv_usec = 0;
  // The first argument is ignored by Windows Sockets.
  return ::select(0, nullptr, &writable, nullptr, &timeout);
}

int SendBytes(SocketHandle socket, const void* bytes, int count) {
  if (count < 0) {
    ::WSASetLastError(WSAEINVAL);
    return kSocketError;
  }
  return ::send(ToSocket(socket), static_cast<const char*>(bytes), count, 0);
}

int ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  if (capacity < 0) {
    ::WSASetLastError(WSAEINVAL);
    return kSocketError;
  }
  return ::recv(ToSocket(socket), static_cast<char*>(buffer), capacity, 0);
}

void CloseSocketHandle(SocketHandle socket) { ::closesocket(ToSocket(socket)); }

int LastSocketError() { return ::WSAGetLastError(); }

int InvalidArgumentError() { return WSAEINVAL; }

int GetLocalHostName(char* buffer, std::size_t size) {
  if (size == 0) return kSocketError;
  const int length = size > static_cast<std::size_t>(INT_MAX)
                         ? INT_MAX
                         : static_cast<int>(size);
  if (::gethostname(buffer, length) != 0) return kSocketError;
  buffer[size - 1] = '\0';
  return 0;
}

int LookupHostName(const char* name, HostAddress* result) {
  const hostent* answer = ::gethostbyname(name);
  if (answer == nullptr) {
    const int error = ::WSAGetLastError();
    // A failed lookup must never read as success.
    return error != 0 ? error : WSANO_DATA;
  }
  return CopyFirstAddress(answer, result) ? 0 : WSANO_DATA;
}

bool LookupHostAddress(const std::uint8_t address[4], HostAddress* result) {
  const hostent* answer =
      ::gethostbyaddr(reinterpret_cast<const char*>(address), 4, AF_INET);
  return CopyFirstAddress(answer, result);
}

int ParseIpv4(const char* text, std::uint8_t address[4]) {
  return ::inet_pton(AF_INET, text, address) == 1 ? 1 : 0;
}

std::uint16_t HostToNetwork16(std::uint16_t value) { return htons(value); }

}  // namespace platform
