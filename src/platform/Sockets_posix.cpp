// POSIX sockets behind the platform interface.
//
// Where POSIX differs from Windows Sockets in ways that would hurt a host
// process, this file makes it safe:
// - sends use MSG_NOSIGNAL, so a peer that has gone away gives EPIPE instead
//   of killing the process with SIGPIPE;
// - readiness uses poll(), which has no FD_SETSIZE limit;
// - descriptor 0 is valid here but means "no socket" to the transport, so a
//   socket is never left on it;
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
#include <climits>
#include <cstring>

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

sockaddr_in ToSockaddr(const Ipv4SocketAddress& address) {
  sockaddr_in result;
  std::memset(&result, 0, sizeof(result));
  result.sin_family = address.family;
  result.sin_port = address.port;
  std::memcpy(&result.sin_addr, address.address, sizeof(address.address));
  return result;
}

// A connect() interrupted by a signal goes on in the background; wait for it
// to finish and report its outcome as connect() itself would have.
int FinishInterruptedConnect(int fd) {
  pollfd entry = {fd, POLLOUT, 0};
  int ready;
  do {
    ready = poll(&entry, 1, -1);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return kSocketError;
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

}  // namespace

SocketHandle OpenTcpSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return kInvalidSocket;
  if (fd == 0) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
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
  sockaddr_in address = ToSockaddr(local);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&address),
                sizeof(address)) == 0
             ? 0
             : kSocketError;
}

int ConnectSocket(SocketHandle socket, const Ipv4SocketAddress& server) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  sockaddr_in address = ToSockaddr(server);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address),
                sizeof(address)) == 0) {
    return 0;
  }
  if (errno == EINTR) return FinishInterruptedConnect(fd);
  return kSocketError;
}

int WaitWritable(SocketHandle socket, unsigned seconds) {
  int fd;
  if (!ToDescriptor(socket, &fd)) return kSocketError;
  pollfd entry = {fd, POLLOUT, 0};
  const int timeoutMs =
      seconds > INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
  int ready;
  do {
    ready = poll(&entry, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return kSocketError;
  // poll() also reports a descriptor it does not know as "ready"; select()
  // refuses it, and so does this check.
  if (ready > 0 && (entry.revents & POLLNVAL) != 0) {
    errno = EBADF;
    return kSocketError;
  }
  return ready;
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

std::uint16_t HostToNetwork16(std::uint16_t value) { return htons(value); }

}  // namespace platform
