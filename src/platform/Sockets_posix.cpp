// POSIX sockets behind the platform interface.
//
// Where POSIX differs from Windows Sockets in ways that would hurt a host
// process, this file makes it safe:
// - sends use MSG_NOSIGNAL, so a peer that has gone away gives EPIPE instead
//   of killing the process with SIGPIPE;
// - readiness uses poll(), which has no FD_SETSIZE limit;
// - descriptor 0 means "no socket" to the transport, and descriptors 1 and 2
//   are where stdio writes (a daemon may start with them closed): a socket
//   is never left on 0, 1 or 2, so the trace can never reach the module;
// - sockets are close-on-exec, so child processes of the host do not inherit
//   the connection;
// - name lookups use getaddrinfo(), which keeps no shared static result;
// - dotted addresses are never looked up in reverse DNS (see
//   LookupHostAddress).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/SockaddrIn.h"
#include "platform/Sockets.h"

namespace platform {
namespace {

bool ToDescriptor(SocketHandle socket, int* fd) {
  if (socket == 0 || socket > static_cast<SocketHandle>(INT_MAX)) {
    errno = EBADF;
    return false;
  }
  *fd = static_cast<int>(socket);
  return true;
}

constexpr int kFirstFreeDescriptor = 3;

// poll() on one descriptor for up to `milliseconds` (-1: no limit), going on
// after a signal with the time that is left.
int PollFor(int fd, short events, int milliseconds, short* revents) {
  pollfd entry = {fd, events, 0};
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    int wait = milliseconds;
    if (milliseconds > 0) {
      const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start)
                             .count();
      wait = spent >= milliseconds ? 0 : milliseconds - static_cast<int>(spent);
    }
    const int ready = poll(&entry, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return kSocketError;
    // poll() also reports a descriptor it does not know as "ready"; select()
    // refuses it, and so does this wait.
    if (ready > 0 && (entry.revents & POLLNVAL) != 0) {
      errno = EBADF;
      return kSocketError;
    }
    *revents = entry.revents;
    return ready;
  }
}

// Waits for a connect() in progress and reports its outcome as a blocking
// connect() would have: 0, or kSocketError with errno (ETIMEDOUT once
// `milliseconds` have passed).
int FinishConnect(int fd, int milliseconds) {
  short revents = 0;
  const int ready = PollFor(fd, POLLOUT, milliseconds, &revents);
  if (ready < 0) return kSocketError;
  if (ready == 0) {
    errno = ETIMEDOUT;
    return kSocketError;
  }
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return kSocketError;
  }
  if (error != 0) {
    errno = error;
    return kSocketError;
  }
  return 0;
}

// Maps getaddrinfo() failures onto the h_errno numbers that gethostbyname()
// reports, so the lookup message carries the same kind of number everywhere.
int LookupErrorNumber(int gaiError) {
  switch (gaiError) {
    case EAI_NONAME:
      return HOST_NOT_FOUND;
    case EAI_AGAIN:
      return TRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
      return NO_DATA;
    case EAI_SYSTEM:
      // A failed lookup must never read as success.
      return errno != 0 ? errno : NO_RECOVERY;
    default:
      return NO_RECOVERY;
  }
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const int wanted = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
  return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}

// A socket that TCP's simultaneous open connected to itself: it sent its
// SYN to its own address and port, and nothing else answered.
bool ConnectedToItself(int fd) {
  sockaddr_in local;
  sockaddr_in peer;
  socklen_t localLength = sizeof(local);
  socklen_t peerLength = sizeof(peer);
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
      getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
    return false;
  }
  return SameEndpoint(local, peer);
}

}  // namespace

SocketHandle OpenTcpSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return kInvalidSocket;
  if (fd < kFirstFreeDescriptor) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
    int saved = errno;
    ::close(fd);
    if (moved < 0) {
      errno = saved;
      return kInvalidSocket;
    }
    fd = moved;
  }
  return static_cast<SocketHandle>(fd);
}

int BindSocket(SocketHandle socket, const Ipv4SocketAddress& local) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  sockaddr_in address = ToSockaddrIn<sockaddr_in>(local);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&address),
                sizeof(address)) == 0
             ? 0
             : kSocketError;
}

int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server,
                  unsigned timeoutMs) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  const sockaddr_in address = ToSockaddrIn<sockaddr_in>(server);
  const bool bounded = timeoutMs != 0;
  if (bounded && !SetBlocking(fd, false)) return kSocketError;
  int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                         sizeof(address));
  if (result != 0 && (errno == EINPROGRESS || errno == EINTR)) {
    // Going on in the background: interrupted by a signal, or not blocking.
    const int wait = !bounded              ? kWaitForever
                     : timeoutMs > INT_MAX ? INT_MAX
                                           : static_cast<int>(timeoutMs);
    result = FinishConnect(fd, wait);
  }
  if (bounded) {
    const int saved = errno;
    if (!SetBlocking(fd, true) && result == 0) return kSocketError;
    errno = saved;
  }
  if (result != 0) return kSocketError;
  if (ConnectedToItself(fd)) {
    errno = ECONNREFUSED;
    return kSocketError;
  }
  return 0;
}

int WaitWritable(SocketHandle socket, unsigned seconds, bool* inputWaiting) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  const int timeoutMs =
      seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
  const short events = inputWaiting != nullptr ? POLLOUT | POLLIN : POLLOUT;
  short revents = 0;
  int ready = PollFor(fd, events, timeoutMs, &revents);
  // Asked for both, only input was ready: the socket may still turn
  // writable within the time-out.
  if (ready > 0 && (revents & (POLLOUT | POLLERR | POLLHUP)) == 0) {
    *inputWaiting = (revents & POLLIN) != 0;
    ready = PollFor(fd, POLLOUT, timeoutMs, &revents);
  } else if (ready > 0 && inputWaiting != nullptr) {
    // A pending error is left for the send to report, not read away.
    *inputWaiting = (revents & POLLIN) != 0 && (revents & POLLERR) == 0;
  }
  return ready;
}

int WaitReadable(SocketHandle socket, int milliseconds) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  short revents = 0;
  return PollFor(fd, POLLIN, milliseconds, &revents);
}

int SendBytes(SocketHandle socket, const void* bytes, int count) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  if (count < 0) {
    errno = EINVAL;
    return kSocketError;
  }
  ssize_t sent;
  do {
    sent = ::send(fd, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent < 0 ? kSocketError : static_cast<int>(sent);
}

int ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  if (capacity < 0) {
    errno = EINVAL;
    return kSocketError;
  }
  ssize_t received;
  do {
    received = ::recv(fd, buffer, static_cast<size_t>(capacity), 0);
  } while (received < 0 && errno == EINTR);
  return received < 0 ? kSocketError : static_cast<int>(received);
}

void DiscardWaitingInput(SocketHandle socket) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return;
  char scrap[512];
  for (std::size_t dropped = 0; dropped < kMaxDiscardedBytes;) {
    const ssize_t received = ::recv(fd, scrap, sizeof(scrap), MSG_DONTWAIT);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) return;  // nothing more waiting, the end, or an error
    dropped += static_cast<std::size_t>(received);
  }
}

void AbortSocketHandle(SocketHandle socket) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return;
  const linger reset = {1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  ::close(fd);
}

void CloseSocketHandle(SocketHandle socket) {
  int fd;
  if (ToDescriptor(socket, &fd)) ::close(fd);
}

int LastSocketError() { return errno; }

int InvalidArgumentError() { return EINVAL; }

int GetLocalHostName(char* buffer, std::size_t size) {
  if (size == 0 || ::gethostname(buffer, size) != 0) return kSocketError;
  buffer[size - 1] = '\0';
  return 0;
}

int LookupHostName(const char* name, HostAddress* result) {
  addrinfo hints;
  std::memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answer = nullptr;
  const int status = ::getaddrinfo(name, nullptr, &hints, &answer);
  if (status != 0) return LookupErrorNumber(status);
  if (answer == nullptr || answer->ai_addr == nullptr) {
    if (answer != nullptr) ::freeaddrinfo(answer);
    return NO_DATA;
  }
  const auto* address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
  result->family = static_cast<std::uint16_t>(address->sin_family);
  std::memcpy(result->address, &address->sin_addr, sizeof(result->address));
  ::freeaddrinfo(answer);
  return 0;
}

// A reverse lookup's answer for four address bytes is those same bytes with
// AF_INET, which is also what the caller falls back to without an answer. On
// POSIX the lookup could only add a wait on reverse DNS, so it is not made.
bool LookupHostAddress(const std::uint8_t* /*address*/,
                       HostAddress* /*result*/) {
  return false;
}

int ParseIpv4(const char* text, std::uint8_t address[4]) {
  return ::inet_pton(AF_INET, text, address) == 1 ? 1 : 0;
}

}  // namespace platform
