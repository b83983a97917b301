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
// - local name lookups use gethostbyname_r(), which keeps no shared static
//   result and, unlike getaddrinfo(), keeps the order of the answer; with
//   name look-up on, both addresses go to getaddrinfo(), in its order;
// - dotted addresses are never looked up in reverse DNS (see
//   LookupHostAddress).
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/SockaddrIn.h"
#include "platform/Sockets.h"

namespace tcpmodbus {
namespace platform {
namespace {

constexpr int kFirstFreeDescriptor = 3;
// Room at most given to one name lookup's answer.
constexpr std::size_t kMaxLookupWork = 128 * 1024;

bool ToDescriptor(SocketHandle socket, int* fd) {
  if (socket == 0 || socket > static_cast<SocketHandle>(INT_MAX)) return false;
  *fd = static_cast<int>(socket);
  return true;
}

IoResult BadHandle() { return IoResult::Failed(EBADF); }

// A failed call, told apart by errno: the peer's reset, or anything else.
IoResult FailedWithErrno() {
  const int error = errno;
  if (error == ECONNRESET || error == ECONNABORTED || error == EPIPE) {
    return IoResult::Reset(error);
  }
  return IoResult::Failed(error);
}

// poll() on one descriptor for up to `milliseconds` (-1: no limit), going on
// after a signal with the time that is left; with `cancel`, in slices of
// kCancelCheckMs, ending as cancelled once it is set.
IoResult PollFor(int fd, short events, int milliseconds, short* revents,
                 const CancelFlag* cancel = nullptr) {
  pollfd entry = {fd, events, 0};
  const WaitPieces pieces(milliseconds, cancel);
  for (;;) {
    bool sliced = false;
    const int wait = pieces.Next(&sliced);
    if (pieces.Cancelled()) return IoResult::Cancelled();
    const int ready = poll(&entry, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return IoResult::Failed(errno);
    if (ready == 0 && sliced) continue;
    if (ready == 0) return IoResult::TimedOut(errno);
    // poll() also reports a descriptor it does not know as "ready"; select()
    // refuses it, and so does this wait.
    if ((entry.revents & POLLNVAL) != 0) return BadHandle();
    *revents = entry.revents;
    return IoResult::Done();
  }
}

// Waits for a connect() in progress and reports its outcome as a blocking
// connect() would have: done, or failed (ETIMEDOUT once `milliseconds` have
// passed).
IoResult FinishConnect(int fd, int milliseconds, const CancelFlag* cancel) {
  short revents = 0;
  const IoResult ready = PollFor(fd, POLLOUT, milliseconds, &revents, cancel);
  if (ready.timedOut()) return IoResult::Failed(ETIMEDOUT);
  if (!ready.done()) return ready;
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return IoResult::Failed(errno);
  }
  return error != 0 ? IoResult::Failed(error) : IoResult::Done();
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
  sockaddr_storage local;
  sockaddr_storage peer;
  socklen_t localLength = sizeof(local);
  socklen_t peerLength = sizeof(peer);
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
      getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
    return false;
  }
  return SameEndpoint(local, peer);
}

IoResult Connect(int fd, const sockaddr* address, socklen_t length,
                 unsigned timeoutMs, const CancelFlag* cancel) {
  const bool bounded = timeoutMs != 0;
  if (::connect(fd, address, length) == 0) return IoResult::Done();
  if (errno != EINPROGRESS && errno != EINTR) return IoResult::Failed(errno);
  // Going on in the background: interrupted by a signal, or not blocking.
  const int wait = !bounded              ? kWaitForever
                   : timeoutMs > INT_MAX ? INT_MAX
                                         : static_cast<int>(timeoutMs);
  return FinishConnect(fd, wait, cancel);
}

// One receive with `flags`, going on after a signal.
IoResult Receive(int fd, void* buffer, int capacity, int flags) {
  if (capacity < 0) return IoResult::Failed(EINVAL);
  ssize_t received;
  do {
    received = ::recv(fd, buffer, static_cast<size_t>(capacity), flags);
  } while (received < 0 && errno == EINTR);
  if (received > 0) return IoResult::Done(static_cast<int>(received));
  if (received == 0) return IoResult::Closed();
  return FailedWithErrno();
}

}  // namespace

IoResult OpenStreamSocket(Family family, SocketHandle* handle) {
  *handle = kInvalidSocket;
  int fd = ::socket(family == Family::kIpv6 ? AF_INET6 : AF_INET,
                    SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return IoResult::Failed(errno);
  if (fd < kFirstFreeDescriptor) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
    const int error = errno;
    ::close(fd);
    if (moved < 0) return IoResult::Failed(error);
    fd = moved;
  }
  *handle = static_cast<SocketHandle>(fd);
  return IoResult::Done();
}

IoResult WaitWritable(SocketHandle socket, unsigned seconds,
                      StreamState* state) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  const int timeoutMs =
      seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
  const short events = state != nullptr ? POLLOUT | POLLIN : POLLOUT;
  short revents = 0;
  IoResult ready = PollFor(fd, events, timeoutMs, &revents);
  if (!ready.done() || state == nullptr) return ready;
  // A pending error is told apart, not read away: the caller decides
  // whether the send reports it.
  state->failed = (revents & (POLLERR | POLLHUP)) != 0;
  state->inputWaiting = (revents & POLLIN) != 0 && !state->failed;
  if ((revents & (POLLOUT | POLLERR | POLLHUP)) == 0) {
    // Only input was ready: the socket may still turn writable within the
    // time-out.
    ready = PollFor(fd, POLLOUT, timeoutMs, &revents);
  }
  return ready;
}

IoResult WaitReadable(SocketHandle socket, int milliseconds,
                      const CancelFlag* cancel) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  short revents = 0;
  return PollFor(fd, POLLIN, milliseconds, &revents, cancel);
}

IoResult SendBytes(SocketHandle socket, const void* bytes, int count) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  if (count < 0) return IoResult::Failed(EINVAL);
  ssize_t sent;
  do {
    sent = ::send(fd, bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return FailedWithErrno();
  return IoResult::Done(static_cast<int>(sent));
}

IoResult ReceiveBytes(SocketHandle socket, void* buffer, int capacity) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  return Receive(fd, buffer, capacity, 0);
}

IoResult ReceiveWaiting(SocketHandle socket, void* buffer, int capacity) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  const IoResult result = Receive(fd, buffer, capacity, MSG_DONTWAIT);
  if (result.kind == IoResult::Kind::kFailed &&
      (result.error == EAGAIN || result.error == EWOULDBLOCK)) {
    return IoResult::TimedOut(0);
  }
  return result;
}

IoResult AbortSocketHandle(SocketHandle socket) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  const linger reset = {1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  return ::close(fd) == 0 ? IoResult::Done() : IoResult::Failed(errno);
}

IoResult SetNoDelay(SocketHandle socket, bool on) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  const int value = on ? 1 : 0;
  return ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)) == 0
             ? IoResult::Done()
             : IoResult::Failed(errno);
}

IoResult AcknowledgeAtOnce(SocketHandle socket) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
#ifdef TCP_QUICKACK
  const int one = 1;
  if (::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one)) != 0) {
    return IoResult::Failed(errno);
  }
#endif
  return IoResult::Done();
}

IoResult CloseSocketHandle(SocketHandle socket) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  return ::close(fd) == 0 ? IoResult::Done() : IoResult::Failed(errno);
}

IoResult GetLocalHostName(char* buffer, std::size_t size) {
  if (size == 0) return IoResult::Failed(EINVAL);
  if (::gethostname(buffer, size) != 0) return IoResult::Failed(errno);
  buffer[size - 1] = '\0';
  return IoResult::Done();
}

IoResult LookupHostName(const char* name, HostAddress* result) {
  // gethostbyname_r keeps the order of the answer (the hosts file's, or the
  // name server's); getaddrinfo would sort it by destination address
  // selection, and so bind another interface than the first one listed.
  char stackWork[2048];
  std::unique_ptr<char[]> heapWork;
  char* work = stackWork;
  std::size_t workSize = sizeof(stackWork);
  hostent entry;
  hostent* answer = nullptr;
  int lookupError = 0;
  for (;;) {
    const int status =
        ::gethostbyname_r(name, &entry, work, workSize, &answer, &lookupError);
    if (status != ERANGE || workSize >= kMaxLookupWork) break;
    // An answer with many names or addresses: more room, on the heap.
    workSize *= 4;
    heapWork.reset(new char[workSize]);
    work = heapWork.get();
  }
  if (answer == nullptr) {
    // A failed lookup must never read as success.
    return IoResult::Failed(lookupError != 0 ? lookupError : NO_RECOVERY);
  }
  if (answer->h_addrtype != AF_INET || answer->h_length != 4 ||
      answer->h_addr_list == nullptr || answer->h_addr_list[0] == nullptr) {
    return IoResult::Failed(NO_DATA);
  }
  result->family = static_cast<std::uint16_t>(answer->h_addrtype);
  std::memcpy(result->address, answer->h_addr_list[0], sizeof(result->address));
  return IoResult::Done();
}

// A reverse lookup's answer for four address bytes is those same bytes with
// AF_INET, which is also what the caller falls back to without an answer. On
// POSIX the lookup could only add a wait on reverse DNS, so it is not made.
IoResult LookupHostAddress(const std::uint8_t* /*address*/,
                           HostAddress* /*result*/) {
  return IoResult::Failed(NO_DATA);
}

void DescribeLookupError(int error, char* text, std::size_t size) {
  if (size == 0) return;
  // gai_strerror's texts are constants, safe on any thread.
  std::snprintf(text, size, "%s", ::gai_strerror(error));
}

IoResult BindAddress(SocketHandle socket, const SocketAddress& local) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  const sockaddr_storage address = ToStorage(local);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), local.length) !=
      0) {
    return IoResult::Failed(errno);
  }
  return IoResult::Done();
}

IoResult ConnectAddress(SocketHandle socket, const SocketAddress& server,
                        unsigned timeoutMs, const CancelFlag* cancel) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return BadHandle();
  const sockaddr_storage address = ToStorage(server);
  // A connect that can end early, by its time-out or a cancel, runs in the
  // background and is waited for.
  const bool background = timeoutMs != 0 || cancel != nullptr;
  if (background && !SetBlocking(fd, false)) return IoResult::Failed(errno);
  IoResult result = Connect(fd, reinterpret_cast<const sockaddr*>(&address),
                            server.length, timeoutMs, cancel);
  if (background && !SetBlocking(fd, true) && result.done()) {
    result = IoResult::Failed(errno);
  }
  if (result.done() && ConnectedToItself(fd)) {
    return IoResult::Failed(ECONNREFUSED);
  }
  return result;
}

}  // namespace platform
}  // namespace tcpmodbus
