// tcpmodbus-sim: a simulated DIO module on Modbus/TCP, built on libmodbus.
//
// Serves holding registers (read with function 3, written with 6 and 16,
// changed with 22 and 23), input registers (function 4), coils (read with 1,
// written with 5 and 15) and discrete inputs (function 2) to any number of
// clients at once (Simulator.h), and answers read device identification
// from its options (DeviceIdentification.h). The inputs move with a tick
// that advances with every request served (MovingInputs.h). Addresses past
// the tables are answered with exception 2 (illegal data address) by
// libmodbus; undeclared addresses and a per-request limit refuse more
// (RequestRules.h).
//
// It listens on every address its --address stands for (Listeners.h). One
// line per request goes to stderr, unless --quiet. SIGINT and SIGTERM stop
// the loop; the program then closes every socket and exits 0.
#include <modbus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "Listeners.h"
#include "Options.h"
#include "Simulator.h"

namespace {

void OnStopSignal(int) { tcpmodbus::sim::g_stop = 1; }

// The addresses a name stood for, when it was one.
void LogAddresses(const tcpmodbus::sim::Options& options,
                  const tcpmodbus::tools::Listeners& listeners) {
  if (listeners.addresses.size() == 1 &&
      listeners.addresses[0] == options.address) {
    return;
  }
  std::string addresses;
  for (const std::string& address : listeners.addresses) {
    addresses += " " + address;
  }
  std::fprintf(stderr, "tcpmodbus-sim: %s is%s\n", options.address.c_str(),
               addresses.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  tcpmodbus::sim::Options options;
  const int parsed = tcpmodbus::sim::ParseOptions(argc, argv, &options);
  if (parsed == 1) return 0;
  if (parsed != 0) return parsed;

  tcpmodbus::tools::CatchStopSignals(OnStopSignal);

  // The context only frames and answers requests; the sockets are ours.
  modbus_t* ctx = modbus_new_tcp(nullptr, options.port);
  if (ctx == nullptr) {
    std::fprintf(stderr, "tcpmodbus-sim: %s\n", modbus_strerror(errno));
    return 1;
  }
  modbus_mapping_t* map =
      modbus_mapping_new(options.registers, options.registers,
                         options.registers, options.registers);
  if (map == nullptr) {
    std::fprintf(stderr, "tcpmodbus-sim: cannot allocate registers: %s\n",
                 modbus_strerror(errno));
    modbus_free(ctx);
    return 1;
  }
  const tcpmodbus::tools::Listeners listeners =
      tcpmodbus::tools::Listen(options.address, options.port, 16);
  if (listeners.sockets.empty()) {
    std::fprintf(stderr, "tcpmodbus-sim: cannot listen on %s:%d: %s\n",
                 options.address.c_str(), options.port,
                 listeners.error.c_str());
    modbus_mapping_free(map);
    modbus_free(ctx);
    return 1;
  }
  LogAddresses(options, listeners);
  std::fprintf(stderr, "tcpmodbus-sim: listening on %s:%d (%d registers)\n",
               options.address.c_str(), listeners.port, options.registers);

  tcpmodbus::sim::Simulator simulator(ctx, map, options);
  const int status = simulator.Run(listeners.sockets);
  for (const int listener : listeners.sockets) close(listener);
  modbus_set_socket(ctx, -1);
  modbus_mapping_free(map);
  modbus_free(ctx);
  if (status == 0) std::fprintf(stderr, "tcpmodbus-sim: stopped\n");
  return status;
}
