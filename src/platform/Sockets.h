// The socket operations the transport needs, as plain functions.
//
// One implementation per operating system (Sockets_posix.cpp,
// Sockets_windows.cpp), chosen by the build, and the address work both share
// (Addresses.cpp). Every call returns an IoResult: done (with the bytes
// moved, where it moves bytes), or how it ended otherwise, with the system's
// error number where the system gave one.
// Error numbers are the platform's own (errno, or Windows Sockets' numbers),
// so messages read "Error(111)" on Linux and "Error(10061)" on Windows.
#ifndef TCPMODBUS_PLATFORM_SOCKETS_H_
#define TCPMODBUS_PLATFORM_SOCKETS_H_

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/IoResult.h"

namespace tcpmodbus {
namespace platform {

// A socket handle wide enough for a Windows SOCKET. 0 means "no socket".
using SocketHandle = std::uint64_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle{0};
constexpr std::uint16_t kAfInet = 2;
// A wait without limit, for the waits that take milliseconds.
constexpr int kWaitForever = -1;
// Set from another thread to end the waits that are given it: they look at
// it at least every kCancelCheckMs and then end as cancelled.
using CancelFlag = std::atomic<bool>;
constexpr int kCancelCheckMs = 20;

// The pieces of one wait of `milliseconds` (kWaitForever: no limit): after
// a signal, what is left of it; while a cancel is watched, no more than
// kCancelCheckMs at a time, so that the flag is looked at between pieces.
class WaitPieces {
 public:
  WaitPieces(int milliseconds, const CancelFlag* cancel)
      : milliseconds_(milliseconds),
        cancel_(cancel),
        start_(std::chrono::steady_clock::now()) {}

  bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }

  // The next piece in milliseconds (kWaitForever: no limit). *cut tells a
  // piece shorter than what is left, whose time-out is not the wait's.
  int Next(bool* cut) const {
    int left = milliseconds_;
    if (milliseconds_ > 0) {
      const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start_)
                             .count();
      left = spent >= milliseconds_ ? 0
                                    : milliseconds_ - static_cast<int>(spent);
    }
    *cut = cancel_ != nullptr && (left < 0 || left > kCancelCheckMs);
    return *cut ? kCancelCheckMs : left;
  }

 private:
  int milliseconds_;
  const CancelFlag* cancel_;
  std::chrono::steady_clock::time_point start_;
};

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

// A blocking IPv4 TCP socket in `*handle` (kInvalidSocket when it failed).
// Never 0, and on POSIX never a standard descriptor (0, 1 or 2), so that the
// host's console trace can never reach the connection.
IoResult OpenTcpSocket(SocketHandle* handle);
IoResult BindSocket(SocketHandle socket, const Ipv4SocketAddress& local);
// Connects, waiting as long as the system allows when `timeoutMs` is 0, or
// at most `timeoutMs` (then failing with the platform's time-out number).
// A connection whose local and peer endpoints are the same (TCP's
// simultaneous open of a socket with itself, when the local port is the
// server's) fails with the connection-refused number: no server answered.
// With `cancel`, the connect is cancellable: it ends as cancelled once the
// flag is set, also without a time-out.
IoResult ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server,
                       unsigned timeoutMs, const CancelFlag* cancel = nullptr);
// What a readiness check saw of the stream beside its writability.
struct StreamState {
  // Bytes or the end of the stream are waiting to be read.
  bool inputWaiting = false;
  // The connection has failed or hung up (a reset while idle): a pending
  // error that the next send or receive would report.
  bool failed = false;
};

// Waits up to `seconds` for the socket to become writable: done when it is,
// timed out when not. `state`, when not null, tells in the same call what
// else is waiting.
IoResult WaitWritable(SocketHandle socket, unsigned seconds,
                      StreamState* state);
// Waits up to `milliseconds` (kWaitForever: without limit) for bytes or the
// end of the stream to read: done when they are there, timed out when not.
// With `cancel`, it ends as cancelled once the flag is set.
IoResult WaitReadable(SocketHandle socket, int milliseconds,
                      const CancelFlag* cancel = nullptr);
// One send; never raises a signal. Done with the count the system took.
IoResult SendBytes(SocketHandle socket, const void* bytes, int count);
// One receive, which blocks until bytes arrive or the stream ends: done with
// the count (1 or more), or closed when the peer ended the stream.
IoResult ReceiveBytes(SocketHandle socket, void* buffer, int capacity);
// One receive of what has already arrived, never blocking: done with the
// count, timed out (error 0) when nothing is waiting, closed when the peer
// has ended the stream.
IoResult ReceiveWaiting(SocketHandle socket, void* buffer, int capacity);
IoResult CloseSocketHandle(SocketHandle socket);
// Closes with a reset (SO_LINGER of 0): no orderly end, no TIME_WAIT.
IoResult AbortSocketHandle(SocketHandle socket);
// Turns Nagle's algorithm off (TCP_NODELAY, `on`) or back on: off, a send
// leaves at once even while earlier bytes are not yet acknowledged.
IoResult SetNoDelay(SocketHandle socket, bool on);
// Acknowledges what has arrived at once, and what arrives next, instead of
// after the delayed-acknowledgement timer (TCP_QUICKACK on Linux, which
// the system drops again by itself). Done, doing nothing, where the system
// has no such option.
IoResult AcknowledgeAtOnce(SocketHandle socket);

// This machine's host name, NUL-terminated within `size`.
IoResult GetLocalHostName(char* buffer, std::size_t size);
// Forward lookup of a host name: the first IPv4 address of the answer, in
// the order the answer lists them. Failed with the lookup's own number
// (h_errno's numbers on POSIX, Windows Sockets' on Windows).
IoResult LookupHostName(const char* name, HostAddress* result);
// Reverse lookup of four address bytes: done when it answered, `result`
// then holding the first address of the answer.
IoResult LookupHostAddress(const std::uint8_t address[4], HostAddress* result);
// Dotted IPv4 text to four bytes; failed with the invalid-argument number
// (EINVAL, WSAEINVAL) when the text is not a dotted address.
IoResult ParseIpv4(const char* text, std::uint8_t address[4]);

// Host names and IPv6: a socket address of either family, as the system's
// look-up gives it, and the calls that take one.

enum class Family : std::uint8_t { kIpv4, kIpv6 };

// A sockaddr_in or sockaddr_in6, in the system's own layout, with its
// family told apart without the system's headers.
struct SocketAddress {
  Family family = Family::kIpv4;
  std::uint8_t length = 0;  // bytes of `bytes` the system's address takes
  std::uint8_t bytes[28] = {};
};

// The most addresses one look-up gives; further ones are left out.
constexpr int kMaxAddresses = 16;

struct AddressList {
  int count = 0;
  SocketAddress entries[kMaxAddresses];
};

// The system's look-up (getaddrinfo) of `host` for TCP to `port`: a host
// name, dotted IPv4 or an IPv6 address, or null for the wildcard address
// of each family. Its addresses in the order it gives them, each once.
// Failed with the look-up's own number (EAI_* on POSIX, Windows Sockets'
// on Windows), which DescribeLookupError puts in words.
IoResult LookUpAddresses(const char* host, std::uint16_t port,
                         AddressList* list);
void DescribeLookupError(int error, char* text, std::size_t size);
// OpenTcpSocket's socket, of `family`.
IoResult OpenStreamSocket(Family family, SocketHandle* handle);
IoResult BindAddress(SocketHandle socket, const SocketAddress& local);
// ConnectSocket, to an address of either family.
IoResult ConnectAddress(SocketHandle socket, const SocketAddress& server,
                        unsigned timeoutMs, const CancelFlag* cancel = nullptr);

// `value` with its bytes in network order (high byte first in memory), as
// htons gives it; needs no system.
inline std::uint16_t HostToNetwork16(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value & 0xff)};
  std::uint16_t result;
  std::memcpy(&result, bytes, sizeof(result));
  return result;
}

}  // namespace platform
}  // namespace tcpmodbus

#endif  // TCPMODBUS_PLATFORM_SOCKETS_H_
