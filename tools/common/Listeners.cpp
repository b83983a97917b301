#include "Listeners.h"

#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tcpmodbus::tools {

namespace {

// Port 0 with several addresses: the port the system gave the first may be
// taken on another; a few fresh tries make that unlikely to matter.
constexpr int kTries = 8;

std::string Numeric(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST] = "?";
  getnameinfo(address, length, host, sizeof(host), nullptr, 0, NI_NUMERICHOST);
  return host;
}

int BoundPort(int fd) {
  sockaddr_storage bound{};
  socklen_t length = sizeof(bound);
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  return bound.ss_family == AF_INET6
             ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
             : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

void SetPort(sockaddr* address, int port) {
  if (address->sa_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(address)->sin6_port = htons(port);
  } else {
    reinterpret_cast<sockaddr_in*>(address)->sin_port = htons(port);
  }
}

// One listening socket, or -1 with errno set.
int ListenOne(addrinfo* entry, int port, int backlog) {
  const int fd = socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC,
                        entry->ai_protocol);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  // Each IPv6 address stands for itself, so that "::" and "0.0.0.0" or a
  // name's two families never clash.
  if (entry->ai_family == AF_INET6) {
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof(one));
  }
  SetPort(entry->ai_addr, port);
  if (bind(fd, entry->ai_addr, entry->ai_addrlen) != 0 ||
      listen(fd, backlog) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

void CloseAll(Listeners* listeners) {
  for (const int fd : listeners->sockets) close(fd);
  listeners->sockets.clear();
  listeners->addresses.clear();
}

}  // namespace

Listeners Listen(const std::string& address, int port, int backlog) {
  Listeners listeners;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int looked = getaddrinfo(address.c_str(), nullptr, &hints, &found);
  if (looked != 0) {
    listeners.error = gai_strerror(looked);
    return listeners;
  }
  for (int tries = 0; tries < kTries && listeners.sockets.empty(); ++tries) {
    listeners.port = port;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
      const std::string numeric = Numeric(entry->ai_addr, entry->ai_addrlen);
      // A hosts file may list one address twice.
      if (std::find(listeners.addresses.begin(), listeners.addresses.end(),
                    numeric) != listeners.addresses.end()) {
        continue;
      }
      const int fd = ListenOne(entry, listeners.port, backlog);
      if (fd < 0) {
        listeners.error = numeric + ": " + std::strerror(errno);
        CloseAll(&listeners);
        break;
      }
      if (listeners.port == 0) listeners.port = BoundPort(fd);
      listeners.sockets.push_back(fd);
      listeners.addresses.push_back(numeric);
    }
    // Only a port the system chose is worth another try.
    if (port != 0) break;
  }
  freeaddrinfo(found);
  if (!listeners.sockets.empty()) listeners.error.clear();
  return listeners;
}

std::string PeerName(int fd) {
  sockaddr_storage peer{};
  socklen_t length = sizeof(peer);
  char host[NI_MAXHOST];
  char port[NI_MAXSERV];
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
      getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host,
                  sizeof(host), port, sizeof(port),
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return "?";
  }
  return peer.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port
                                    : std::string(host) + ":" + port;
}

void CatchStopSignals(void (*on_stop)(int)) {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = on_stop;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
}

}  // namespace tcpmodbus::tools
