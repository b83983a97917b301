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

// A connected socket's peer as logs show it: "host:port", "[v6]:port", or
// "?" when the system cannot say.
std::string PeerName(int fd);

// SIGINT and SIGTERM call `on_stop`; SIGPIPE is ignored, so that a client
// that goes away mid-answer does not end the tool.
void CatchStopSignals(void (*on_stop)(int));

}  // namespace tcpmodbus::tools
