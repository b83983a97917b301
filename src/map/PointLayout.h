// A point as the planner, the reader and the writer use it: its table, the
// addresses it takes, and how its value is held there.
#ifndef TCPMODBUS_MAP_POINTLAYOUT_H_
#define TCPMODBUS_MAP_POINTLAYOUT_H_

#include <cstdint>
#include <optional>
#include <string>

#include "tcpmodbus/DeviceMap.h"
#include "values/ValueType.h"

namespace tcpmodbus {
namespace map {

struct PointLayout {
  PointTable table = PointTable::kHolding;
  std::uint32_t start = 0;
  std::uint32_t width = 1;  // registers, or 1 for a bit
  bool bit = false;
  values::ValueType type;  // registers only
  values::Order order = values::Order::kABCD;
  std::optional<double> scale;

  std::uint32_t end() const { return start + width - 1; }  // its last address
};

// The field of a point a refusal is about, so that a CSV line can name its
// column.
enum class PointField { kName, kTable, kAddress, kType, kOrder, kScale };

// Checks `point` and resolves it: false with the reason, and the field it is
// about when `field` is not null, otherwise.
bool ResolvePoint(const Point& point, PointLayout* layout, std::string* error,
                  PointField* field = nullptr);
// The layout of a point a DeviceMap took, which resolves.
PointLayout LayoutOf(const Point& point);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_POINTLAYOUT_H_
