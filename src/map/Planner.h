// The planner of one table: the fewest requests that read every point
// whole, none longer than the table's limit, none spanning a learned hole,
// and none reading more than max_gap undeclared addresses in a row.
//
// Why a greedy is optimal: take the point p that starts first. Some request
// of any plan holds p whole; no point it serves starts before p, so moving
// its start up to p's keeps all it serves, and a request that starts at p
// serves the most when it reaches as far as the rules let it (any request
// inside a valid one is valid). So there is a plan of the fewest requests
// whose first request is the greedy's. Validity depends on the map alone,
// not on which points are left to serve, so the same holds for the points
// that request leaves, and by induction for every request the greedy makes.
#ifndef TCPMODBUS_MAP_PLANNER_H_
#define TCPMODBUS_MAP_PLANNER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

// The addresses a point takes in its table, from `start` to `end`.
struct Span {
  std::uint32_t start;
  std::uint32_t end;  // inclusive, at most 65535
  std::size_t point;  // its index in the map
};

// Addresses no request may read, from `start` to `end`.
struct Range {
  std::uint32_t start;
  std::uint32_t end;
};

struct TableRule {
  std::uint32_t maxCount;  // 1 or more; no span is wider
  std::uint32_t maxGap;
};

// The requests that serve `spans` (none touching a barrier), in address
// order, each point served once. `barriers` may be in any order.
std::vector<PlannedRequest> PlanTable(PointTable table, std::vector<Span> spans,
                                      const TableRule& rule,
                                      std::vector<Range> barriers);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_PLANNER_H_
