// Writes by name: every value checked and encoded before the first request,
// so that a refused one sends nothing; then the requests in address order.
#include "map/WritePoints.h"

#include <set>

#include "map/Format.h"
#include "map/PointCodec.h"
#include "map/PointLayout.h"
#include "map/Tables.h"
#include "map/WritePlan.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace {

using map::Format;

int Send(TCPModbusIntf& module, map::WriteRequest& request) {
  const auto count = static_cast<unsigned short>(request.registers.size() +
                                                 request.bits.size());
  if (request.table == PointTable::kCoil) {
    if (count == 1)
      return module.WriteSingleCoil(request.start, request.bits[0] != 0);
    return module.WriteMultiCoils(request.start, request.bits.data(), count);
  }
  if (count == 1) {
    return module.WriteSingleHoldReg(request.start, request.registers[0]);
  }
  return module.WriteMultiHoldRegs(request.start, request.registers.data(),
                                   count);
}

bool Refuse(std::string* refusal, const std::string& reason) {
  if (refusal != nullptr) *refusal = reason;
  return false;
}

bool Encode(const DeviceMap& map,
            const std::vector<std::pair<std::string, PointValue>>& values,
            std::vector<map::WriteItem>* items, std::string* refusal) {
  std::set<std::string> given;
  for (const auto& [name, value] : values) {
    const std::optional<std::size_t> index = map.Find(name);
    if (!index) {
      return Refuse(refusal,
                    Format("no point named '%s' in the map", name.c_str()));
    }
    if (!given.insert(name).second) {
      return Refuse(refusal,
                    Format("point '%s': two values given", name.c_str()));
    }
    const map::PointLayout layout = map::LayoutOf(map.points()[*index]);
    if (!map::Writable(layout.table)) {
      return Refuse(refusal, Format("point '%s': %s points are read only",
                                    name.c_str(), TableName(layout.table)));
    }
    map::WriteItem item{layout.table, layout.start, {}, false, *index};
    std::string reason;
    const bool encoded = layout.bit
                             ? map::EncodeBit(name, value, &item.on, &reason)
                             : map::EncodeRegisters(layout, name, value,
                                                    &item.registers, &reason);
    if (!encoded) return Refuse(refusal, reason);
    // A value is never split, so one wider than a write request could only
    // be refused by the register operation, after the requests before it
    // were written.
    if (item.registers.size() > TCPMODBUS_MAX_WRITE_REGISTERS) {
      return Refuse(
          refusal,
          Format(
              "point '%s': %s takes %u registers, more than one write request carries (at most %d)",
              name.c_str(), map.points()[*index].type.c_str(),
              static_cast<unsigned>(item.registers.size()),
              TCPMODBUS_MAX_WRITE_REGISTERS));
    }
    items->push_back(std::move(item));
  }
  return true;
}

}  // namespace

int map::WritePoints(
    TCPModbusIntf& module, const DeviceMap& map,
    const std::vector<std::pair<std::string, PointValue>>& values,
    std::string* refusal) {
  if (refusal != nullptr) refusal->clear();
  std::vector<map::WriteItem> items;
  if (!Encode(map, values, &items, refusal)) return 0;
  std::vector<std::string> names;
  for (const Point& point : map.points()) names.push_back(point.name);
  std::vector<map::WriteRequest> requests;
  if (!map::PlanWrites(std::move(items), names, &requests, refusal)) return 0;
  for (map::WriteRequest& request : requests) {
    if (Send(module, request) != 1) return 0;
  }
  return 1;
}

}  // namespace tcpmodbus
