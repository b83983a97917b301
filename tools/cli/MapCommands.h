// read-map and write-map: a device map's points read in its plan's requests
// and shown as a table, or written by name, through the library's device
// map (tcpmodbus/DeviceMap.h).
#ifndef TCPMODBUS_TOOLS_CLI_MAPCOMMANDS_H_
#define TCPMODBUS_TOOLS_CLI_MAPCOMMANDS_H_

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "Arguments.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace cli {

struct MapJob {
  bool write = false;
  tcpmodbus::DeviceMap map;
  tcpmodbus::PlanLimits limits;
  std::vector<std::pair<std::string, tcpmodbus::PointValue>> values;
};

bool IsMapCommand(const std::string& command);

// The map file, the limits and the values, each checked before anything is
// connected: a map file refused, limits the plan cannot meet or a value
// refused is a UsageError.
MapJob CheckMapOperands(const Arguments& args);

// --plan: one line a request, as a read would send them from a new
// connection.
void PrintPlan(std::FILE* stream, const MapJob& job);

// Reads the map and prints a table of name, value, unit and status, or
// writes its values and prints them. False, with the reason on stderr, when
// a request failed, timed out or went unsent (a read), or the module refused
// a write; a point refused by the module alone is shown, not a failure.
bool RunMapJob(TCPModbusIntf& module, const Arguments& args, const MapJob& job,
               std::FILE* stream);

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_MAPCOMMANDS_H_
