#include "tcpmodbus/DeviceMap.h"

#include "map/Format.h"
#include "map/PointLayout.h"

namespace tcpmodbus {

bool DeviceMap::Add(const Point& point, std::string* error) {
  map::PointLayout layout;
  if (!map::ResolvePoint(point, &layout, error)) return false;
  if (names_.count(point.name) != 0) {
    if (error != nullptr) {
      *error =
          map::Format("point '%s': the map has a point of that name already",
                      point.name.c_str());
    }
    return false;
  }
  Point stored = point;
  if (stored.order.empty()) stored.order = "ABCD";
  points_.push_back(std::move(stored));
  names_.emplace(point.name, points_.size() - 1);
  return true;
}

std::optional<std::size_t> DeviceMap::Find(const std::string& name) const {
  const auto found = names_.find(name);
  if (found == names_.end()) return std::nullopt;
  return found->second;
}

}  // namespace tcpmodbus
