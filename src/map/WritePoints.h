// Writes by name through any object's operations; the library's own object
// is reached through tcpmodbus::WritePoints, which keeps a cancel between
// two of its writes.
#ifndef TCPMODBUS_MAP_WRITEPOINTS_H_
#define TCPMODBUS_MAP_WRITEPOINTS_H_

#include <string>
#include <utility>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

int WritePoints(TCPModbusIntf& module, const DeviceMap& map,
                const std::vector<std::pair<std::string, PointValue>>& values,
                std::string* refusal);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_WRITEPOINTS_H_
