// The few socket operations the transport needs, as plain functions.
//
// One implementation per operating system (Sockets_posix.cpp,
// Sockets_windows.cpp), chosen by the build. Results follow the Windows
// Sockets conventions the transport is written against: -1 (SOCKET_ERROR)
// for a failed call, and the calling thread's error number from
// LastSocketError() right after it.
#ifndef TCPMODBUS_PLATFORM_SOCKETS_H_
#define TCPMODBUS_PLATFORM_SOCKETS_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// A socket handle wide enough for a Windows SOCKET. 0 means "no socket".
using SocketHandle = std::uint64_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};
constexpr int kSocketError = -1;
constexpr std::uint16_t kAfInet = 2;

// Same layout as sockaddr_in on every supported platform: family, port in
// network byte order, address in network byte order, eight zero bytes.
struct Ipv4SocketAddress {
  std::uint16_t family;
  std::uint16_t port;
  std::uint8_t address[4];
  std::uint8_t zero[8];
};
static_assert(sizeof(Ipv4SocketAddress) == 16, "must match sockaddr_in");

// First address of a name lookup's answer.
struct HostAddress {
  std::uint16_t family;
  std::uint8_t address[4];
};

// A blocking IPv4 TCP socket, or kInvalidSocket. Never 0.
SocketHandle OpenTcpSocket();
int BindSocket(SocketHandle socket, const Ipv4SocketAddress& local);
int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server);
// Waits up to `seconds` for the socket to become writable: >0 when it is,
// 0 after the time-out, kSocketError on failure.
int WaitWritable(SocketHandle socket, unsigned seconds);
// One send or receive call; never raises a signal.
int SendBytes(SocketHandle socket, const void* bytes, int count);
int ReceiveBytes(SocketHandle socket, void* buffer, int capacity);
void CloseSocketHandle(SocketHandle socket);
int LastSocketError();
// The platform's error number for an invalid argument (EINVAL, WSAEINVAL).
int InvalidArgumentError();

// This machine's host name: 0, or kSocketError.
int GetLocalHostName(char* buffer, std::size_t size);
// Forward lookup of a host name. Returns 0 and fills `result`, or the
// platform's error number for the failed lookup.
int LookupHostName(const char* name, HostAddress* result);
// Reverse lookup of four address bytes. True when it answered; `result` then
// holds the first address of the answer.
bool LookupHostAddress(const std::uint8_t address[4], HostAddress* result);
// Dotted IPv4 text to four bytes: 1 when converted, 0 when not.
int ParseIpv4(const char* text, std::uint8_t address[4]);
std::uint16_t HostToNetwork16(std::uint16_t value);

}  // namespace platform

#endif  // TCPMODBUS_PLATFORM_SOCKETS_H_
