// A map's plan: its points per table, less those that touch a learned
// hole, each table planned under its limit.
#include <algorithm>

#include "map/Format.h"
#include "map/LearnedRules.h"
#include "map/Planner.h"
#include "map/PointLayout.h"
#include "map/Tables.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace {

using map::Format;

bool CheckLimits(const PlanLimits& limits, std::string* error) {
  std::string reason;
  if (limits.maxRegisters < 1 ||
      limits.maxRegisters > TCPMODBUS_MAX_READ_REGISTERS) {
    reason = Format("max_registers must be 1 to %d, not %u",
                    TCPMODBUS_MAX_READ_REGISTERS, limits.maxRegisters);
  } else if (limits.maxBits < 1 || limits.maxBits > TCPMODBUS_MAX_READ_BITS) {
    reason = Format("max_bits must be 1 to %d, not %u", TCPMODBUS_MAX_READ_BITS,
                    limits.maxBits);
  } else {
    return true;
  }
  if (error != nullptr) *error = reason;
  return false;
}

}  // namespace

bool MakePlan(const DeviceMap& map, const PlanLimits& limits,
              const Learned& learned, Plan* plan, std::string* error) {
  if (!CheckLimits(limits, error)) return false;
  std::vector<map::Span> spans[std::size(map::kTables)];
  std::vector<std::size_t> skipped;
  const std::vector<Point>& points = map.points();
  for (std::size_t i = 0; i < points.size(); ++i) {
    const map::PointLayout layout = map::LayoutOf(points[i]);
    if (map::TouchingHole(learned, layout.table, layout.start, layout.end())) {
      skipped.push_back(i);
      continue;
    }
    const std::size_t table = static_cast<std::size_t>(
        std::find(std::begin(map::kTables), std::end(map::kTables),
                  layout.table) -
        std::begin(map::kTables));
    spans[table].push_back({layout.start, layout.end(), i});
  }

  std::vector<PlannedRequest> requests;
  for (std::size_t t = 0; t < std::size(map::kTables); ++t) {
    const PointTable table = map::kTables[t];
    const unsigned chosen =
        map::HoldsBits(table) ? limits.maxBits : limits.maxRegisters;
    unsigned limit = chosen;
    if (const unsigned learnedLimit = map::LimitOf(learned, table)) {
      limit = std::min(limit, learnedLimit);
    }
    for (const map::Span& span : spans[t]) {
      const std::uint32_t width = span.end - span.start + 1;
      if (width > chosen) {
        if (error != nullptr) {
          const Point& point = points[span.point];
          *error = Format(
              "point '%s': %s takes %u registers, more than the %u one request may read (max_registers)",
              point.name.c_str(), point.type.c_str(), width, chosen);
        }
        return false;
      }
      // A point the learned limit leaves no room for is still asked alone:
      // the module refuses it then, and it becomes a hole.
      limit = std::max<unsigned>(limit, width);
    }
    std::vector<PlannedRequest> planned =
        map::PlanTable(table, std::move(spans[t]), {limit, limits.maxGap},
                       map::Barriers(learned, table));
    requests.insert(requests.end(), planned.begin(), planned.end());
  }
  *plan = Plan(std::move(requests), std::move(skipped));
  return true;
}

}  // namespace tcpmodbus
