// What an object learned from a module's refusals, as its plans use it:
// holes that no request may touch, and the lowered limit of a table.
#ifndef TCPMODBUS_MAP_LEARNEDRULES_H_
#define TCPMODBUS_MAP_LEARNEDRULES_H_

#include <cstdint>
#include <vector>

#include "map/Planner.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

// The first hole of `table` that shares an address with start..end, or
// null.
const Hole* TouchingHole(const Learned& learned, PointTable table,
                         std::uint32_t start, std::uint32_t end);
// The holes of `table` as ranges no request may read.
std::vector<Range> Barriers(const Learned& learned, PointTable table);
// The learned limit of a table; 0 when none was learned.
unsigned LimitOf(const Learned& learned, PointTable table);

// Adds a hole, unless the same is known already.
void AddHole(Learned* learned, PointTable table, const Range& range,
             int exceptionCode);
// Lowers the table's limit to `count`, unless it is lower already.
void LowerLimit(Learned* learned, PointTable table, unsigned count);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_LEARNEDRULES_H_
