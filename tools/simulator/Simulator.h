// The module's serving loop: one pselect loop over the listening sockets and
// the clients' sockets, one request served at a time, until a stop signal.
#pragma once

#include <modbus.h>
#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Options.h"

namespace tcpmodbus::sim {

// Set by the stop signals' handler; Run returns once it is.
extern volatile sig_atomic_t g_stop;

class Simulator {
 public:
  Simulator(modbus_t* ctx, modbus_mapping_t* map, const Options& options)
      : ctx_(ctx), map_(map), options_(options) {}

  // Runs until a stop signal; returns the exit status.
  int Run(const std::vector<int>& listeners);

 private:
  bool Accept(int listener);
  bool Serve(int fd);
  bool ServeLargestWrite(int fd);
  bool ServeOwnFrame(int fd, int mbapLength);
  bool SendAnswer(int fd, const std::uint8_t* request,
                  const std::vector<std::uint8_t>& pdu);
  void LogRequest(int fd, const std::uint8_t* pdu, std::size_t length,
                  int exception);
  __attribute__((format(printf, 2, 3))) void Log(const char* format, ...);

  modbus_t* ctx_;
  modbus_mapping_t* map_;
  const Options& options_;
  std::map<int, std::string> peers_;
  unsigned tick_ = 0;
};

}  // namespace tcpmodbus::sim
