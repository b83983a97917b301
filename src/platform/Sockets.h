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
#include <cstring>

namespace platform {

// A socket handle wide enough for a Windows SOCKET. 0 means "no socket".
using SocketHandle = std::uint64_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};
constexpr int kSocketError = -1;
constexpr std::uint16_t kAfInet = 2;
// A wait without limit, for the waits that take milliseconds.
constexpr int kWaitForever = -1;

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

// A blocking IPv4 TCP socket, or kInvalidSocket. Never 0, and on POSIX never
// a standard descriptor (0, 1 or 2), so that the host's console trace can
// never reach the connection.
SocketHandle OpenTcpSocket();
int BindSocket(SocketHandle socket, const Ipv4SocketAddress& local);
// Connects, waiting as long as the system allows when `timeoutMs` is 0, or
// at most `timeoutMs` (then failing with the platform's time-out number).
// A connection whose local and peer endpoints are the same (TCP's
// simultaneous open of a socket with itself, when the local port is the
// server's) fails with the connection-refused number: no server answered.
int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server,
                  unsigned timeoutMs);
// Waits up to `seconds` for the socket to become writable: >0 when it is,
// 0 after the time-out, kSocketError on failure. `inputWaiting`, when not
// null, tells in the same call whether bytes or the end of the stream are
// waiting to be read.
int WaitWritable(SocketHandle socket, unsigned seconds, bool* inputWaiting);
// Waits up to `milliseconds` (kWaitForever: without limit) for bytes or the
// end of the stream to read: >0 when there are, 0 after the time-out,
// kSocketError on failure.
int WaitReadable(SocketHandle socket, int milliseconds);
// One send or receive call; never raises a signal.
int SendBytes(SocketHandle socket, const void* bytes, int count);
int ReceiveBytes(SocketHandle socket, void* buffer, int capacity);
// Reads and drops the bytes already waiting, without blocking; stops at the
// end of the stream, at an error, or after a bounded amount.
void DiscardWaitingInput(SocketHandle socket);
void CloseSocketHandle(SocketHandle socket);
// Closes with a reset (SO_LINGER of 0): no orderly end, no TIME_WAIT.
void AbortSocketHandle(SocketHandle socket);
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

// `value` with its bytes in network order (high byte first in memory), as
// htons gives it; needs no system.
inline std::uint16_t HostToNetwork16(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value & 0xff)};
  std::uint16_t result;
  std::memcpy(&result, bytes, sizeof(result));
  return result;
}

// Bytes at most dropped by one DiscardWaitingInput: far more than a module
// sends between two requests, yet a bounded loop for one that never stops.
constexpr std::size_t kMaxDiscardedBytes = 64 * 1024;

}  // namespace platform

#endif  // TCPMODBUS_PLATFORM_SOCKETS_H_
