// A tool's listening sockets: one per address its address text stands
// for (a dotted IPv4 address, an IPv6 literal, or a name and every address
// it resolves to), all on one port.
#pragma once

#include <string>
#include <vector>

namespace tcpmodbus::tools {

struct Listeners {
  std::vector<int> sockets;
  std::vector<std::string> addresses;  // numeric, one per socket
  int port = 0;                        // the one every socket listens on
  std::string error;                   // why there are none
};

// Port 0 lets the system choose one, then every address takes that one.
Listeners Listen(const std::string& address, int port, int backlog);

}  // namespace tcpmodbus::tools
