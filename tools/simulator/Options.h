// The command line of tcpmodbus-sim.
#pragma once

#include <string>

#include "DeviceIdentification.h"
#include "RequestRules.h"

namespace tcpmodbus::sim {

struct Options {
  std::string address = "127.0.0.1";
  int port = 502;
  int registers = 1000;
  bool quiet = false;
  // Answers leave at once, never held behind an unacknowledged one.
  bool noDelay = false;
  RequestRules rules;
  DeviceIdentification identification{"tcpmodbus", "tcpmodbus-sim",
                                      TCPMODBUS_SIM_REVISION};
};

// Returns 0 when parsed, 1 after --help, 2 on a usage error (told on
// stderr).
int ParseOptions(int argc, char** argv, Options* options);

}  // namespace tcpmodbus::sim
