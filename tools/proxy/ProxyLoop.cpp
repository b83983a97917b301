#include "ProxyLoop.h"

#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "Listeners.h"

namespace tcpmodbus::proxy {

volatile sig_atomic_t g_stop = 0;

namespace {

// The proxy adds no wait of its own: what is due leaves at once, rather
// than behind Nagle's algorithm and the peer's delayed acknowledgement.
void SendAtOnce(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// The wait until `due`, rounded up so that a wake-up never comes early.
timespec WaitUntil(Clock::time_point due, Clock::time_point now) {
  const auto left = std::chrono::ceil<std::chrono::nanoseconds>(
      due > now ? due - now : Clock::duration::zero());
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
  wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
  return wait;
}

}  // namespace

int ProxyLoop::Run() {
  sigset_t stopSignals;
  sigset_t waitMask;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // The stop signals are only let through while ppoll waits, so one that
  // arrives between two waits is not lost.
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);

  std::vector<pollfd> entries;
  while (g_stop == 0) {
    entries.clear();
    for (const int listener : listeners_) {
      entries.push_back({acceptPaused_ ? -1 : listener, POLLIN, 0});
    }
    std::optional<Clock::time_point> due;
    for (const auto& relay : relays_) {
      pollfd pair[2];
      relay->PollEntries(pair);
      entries.insert(entries.end(), pair, pair + 2);
      const auto next = relay->NextDue();
      if (next && (!due || *next < *due)) due = next;
    }
    timespec wait{};
    if (due) wait = WaitUntil(*due, Clock::now());
    if (ppoll(entries.data(), entries.size(), due ? &wait : nullptr,
              &waitMask) < 0) {
      if (errno == EINTR) continue;
      std::perror("tcpmodbus-delay-proxy: poll");
      return 1;
    }
    const Clock::time_point now = Clock::now();
    std::size_t entry = 0;
    for (const int listener : listeners_) {
      if (entries[entry++].revents != 0) Accept(listener, now);
    }
    // Relays accepted just now have no entries yet; they come last.
    for (auto relay = relays_.begin(); relay != relays_.end();) {
      if (entry + 2 > entries.size()) break;
      (*relay)->Handle(&entries[entry], now);
      entry += 2;
      if ((*relay)->Done()) {
        if (!quiet_) {
          std::fprintf(stderr, "tcpmodbus-delay-proxy: %s ended\n",
                       (*relay)->name().c_str());
        }
        relay = relays_.erase(relay);
        acceptPaused_ = false;
      } else {
        ++relay;
      }
    }
  }
  relays_.clear();
  return 0;
}

void ProxyLoop::Accept(int listener, Clock::time_point now) {
  const int client =
      accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (client < 0) {
    if (errno == EMFILE || errno == ENFILE) {
      // Out of descriptors: wait for a connection to end rather than spin
      // on a listener that stays readable.
      acceptPaused_ = true;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      std::perror("tcpmodbus-delay-proxy: accept");
    }
    return;
  }
  SendAtOnce(client);
  const std::string name = tools::PeerName(client);
  const int target = socket(target_.address.ss_family,
                            SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (target < 0) {
    std::perror("tcpmodbus-delay-proxy: socket");
    close(client);
    return;
  }
  SendAtOnce(target);
  int error = 0;
  if (connect(target, reinterpret_cast<const sockaddr*>(&target_.address),
              target_.length) != 0 &&
      errno != EINPROGRESS) {
    error = errno;
  }
  if (!quiet_) {
    std::fprintf(stderr, "tcpmodbus-delay-proxy: %s connected\n", name.c_str());
  }
  relays_.push_back(
      std::make_unique<Relay>(client, target, error, name, &delay_, now));
}

}  // namespace tcpmodbus::proxy
