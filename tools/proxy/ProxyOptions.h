// The command line of tcpmodbus-delay-proxy.
#pragma once

#include <string>

namespace tcpmodbus::proxy {

struct ProxyOptions {
  std::string listen = "127.0.0.1";
  int port = 0;  // 0: the system's choice
  std::string targetHost;
  std::string targetPort;
  int delayMs = 0;
  int jitterMs = 0;
  bool seedGiven = false;
  unsigned seed = 0;
  bool quiet = false;
};

// Returns 0 when parsed, 1 after --help, 2 on a usage error (told on
// stderr).
int ParseProxyOptions(int argc, char** argv, ProxyOptions* options);

}  // namespace tcpmodbus::proxy
