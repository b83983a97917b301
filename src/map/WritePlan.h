// How values written by name become requests: per writable table in
// address order, adjacent values joined into one request up to the
// protocol's most, never a value split.
#ifndef TCPMODBUS_MAP_WRITEPLAN_H_
#define TCPMODBUS_MAP_WRITEPLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

// One value to write: the registers (or the one bit) from `start` on.
struct WriteItem {
  PointTable table;
  std::uint32_t start;
  std::vector<std::uint16_t> registers;  // a holding register point's
  bool on = false;                       // a coil's
  std::size_t point;                     // its index in the map
};

struct WriteRequest {
  PointTable table;
  std::uint16_t start;
  std::vector<std::uint16_t> registers;  // holding registers
  std::vector<unsigned char> bits;       // coils, 0 or 1 each
};

// The requests, or false with the reason (naming the points by `names`)
// when two values share an address.
bool PlanWrites(std::vector<WriteItem> items,
                const std::vector<std::string>& names,
                std::vector<WriteRequest>* requests, std::string* error);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_WRITEPLAN_H_
