// The proxy's event loop: one ppoll over the listening sockets and every
// relayed connection's two sockets, woken by the sockets or by the next
// piece falling due, never spinning.
#pragma once

#include <signal.h>
#include <sys/socket.h>

#include <list>
#include <memory>
#include <vector>

#include "Delay.h"
#include "Relay.h"

namespace tcpmodbus::proxy {

// Set by the stop signals' handler; Run returns once it is.
extern volatile sig_atomic_t g_stop;

struct Target {
  sockaddr_storage address;
  socklen_t length;
};

class ProxyLoop {
 public:
  ProxyLoop(std::vector<int> listeners, Target target, Delay delay, bool quiet)
      : listeners_(std::move(listeners)),
        target_(target),
        delay_(delay),
        quiet_(quiet) {}

  // Runs until a stop signal; returns the exit status.
  int Run();

 private:
  void Accept(int listener, Clock::time_point now);

  std::vector<int> listeners_;
  Target target_;
  Delay delay_;
  bool quiet_;
  bool acceptPaused_ = false;
  std::list<std::unique_ptr<Relay>> relays_;
};

}  // namespace tcpmodbus::proxy
