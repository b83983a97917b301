// tcpmodbus-delay-proxy: a TCP forwarder with a one-way delay each way (and
// jitter that never reorders), in user space, so that tests and benchmarks
// can put a slow link between a host and a module on one machine.
//
// Each accepted connection is relayed to the target (Relay.h) through two
// delay lines (DelayLine.h), from one event loop (ProxyLoop.h). The port it
// listens on is the first line on standard output; logs go to stderr.
// SIGINT and SIGTERM stop it with exit status 0.
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "Delay.h"
#include "Listeners.h"
#include "ProxyLoop.h"
#include "ProxyOptions.h"

namespace {

using tcpmodbus::proxy::ProxyOptions;

void OnStopSignal(int) { tcpmodbus::proxy::g_stop = 1; }

// The target's first address; false (told on stderr) when it has none.
bool Resolve(const ProxyOptions& options, tcpmodbus::proxy::Target* target) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int looked = getaddrinfo(options.targetHost.c_str(),
                                 options.targetPort.c_str(), &hints, &found);
  if (looked != 0) {
    std::fprintf(stderr,
                 "tcpmodbus-delay-proxy: cannot resolve the target %s: %s\n",
                 options.targetHost.c_str(), gai_strerror(looked));
    return false;
  }
  std::memcpy(&target->address, found->ai_addr, found->ai_addrlen);
  target->length = found->ai_addrlen;
  freeaddrinfo(found);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  ProxyOptions options;
  const int parsed = tcpmodbus::proxy::ParseProxyOptions(argc, argv, &options);
  if (parsed == 1) return 0;
  if (parsed != 0) return parsed;

  tcpmodbus::tools::CatchStopSignals(OnStopSignal);

  tcpmodbus::proxy::Target target{};
  if (!Resolve(options, &target)) return 1;
  const tcpmodbus::tools::Listeners listeners =
      tcpmodbus::tools::Listen(options.listen, options.port, 64);
  if (listeners.sockets.empty()) {
    std::fprintf(stderr, "tcpmodbus-delay-proxy: cannot listen on %s:%d: %s\n",
                 options.listen.c_str(), options.port, listeners.error.c_str());
    return 1;
  }
  // A connection gone between the wait and the accept must not block it.
  for (const int listener : listeners.sockets) {
    fcntl(listener, F_SETFL, fcntl(listener, F_GETFL) | O_NONBLOCK);
  }
  const unsigned seed =
      options.seedGiven ? options.seed : std::random_device{}();
  std::printf("%d\n", listeners.port);
  std::fflush(stdout);
  std::fprintf(
      stderr,
      "tcpmodbus-delay-proxy: listening on %s:%d, forwarding to %s:%s, delay %d ms, jitter %d ms, seed %u\n",
      options.listen.c_str(), listeners.port, options.targetHost.c_str(),
      options.targetPort.c_str(), options.delayMs, options.jitterMs, seed);

  tcpmodbus::proxy::ProxyLoop loop(
      listeners.sockets, target,
      tcpmodbus::proxy::Delay(options.delayMs, options.jitterMs, seed),
      options.quiet);
  const int status = loop.Run();
  for (const int listener : listeners.sockets) close(listener);
  if (status == 0) std::fprintf(stderr, "tcpmodbus-delay-proxy: stopped\n");
  return status;
}
