// The device map's functions that take an object: what it learned is kept
// in the library's own object, so these reach it there, and a read or write
// of several requests is one call for its cancel. Another object (a host's
// own TCPModbusIntf) keeps nothing between reads.
#include "front/CTCPModbus.h"
#include "map/ReadPoints.h"
#include "map/WritePoints.h"
#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace {

Learned* LearnedStore(TCPModbusIntf& module) {
  auto* own = dynamic_cast<CTCPModbus*>(&module);
  return own != nullptr ? &own->MapLearned : nullptr;
}

}  // namespace

bool MakePlan(TCPModbusIntf& module, const DeviceMap& map,
              const PlanLimits& limits, Plan* plan, std::string* error) {
  const Learned* learned = LearnedStore(module);
  return MakePlan(map, limits, learned != nullptr ? *learned : Learned(), plan,
                  error);
}

Learned LearnedOf(TCPModbusIntf& module) {
  const Learned* learned = LearnedStore(module);
  return learned != nullptr ? *learned : Learned();
}

void ClearLearned(TCPModbusIntf& module) {
  if (Learned* learned = LearnedStore(module)) *learned = Learned();
}

bool ReadMap(TCPModbusIntf& module, const DeviceMap& map,
             const PlanLimits& limits, Snapshot* snapshot, std::string* error) {
  Learned forgotten;
  Learned* learned = LearnedStore(module);
  return ReadMap(module, map, limits, learned != nullptr ? learned : &forgotten,
                 snapshot, error);
}

bool ReadMap(TCPModbusIntf& module, const DeviceMap& map,
             const PlanLimits& limits, Learned* learned, Snapshot* snapshot,
             std::string* error) {
  Plan plan;
  if (!MakePlan(map, limits, *learned, &plan, error)) return false;
  const CTCPModbus::SeveralOperations call(dynamic_cast<CTCPModbus*>(&module));
  map::MapReader(module, map, learned, snapshot).Read(plan);
  return true;
}

int WritePoints(TCPModbusIntf& module, const DeviceMap& map,
                const std::vector<std::pair<std::string, PointValue>>& values,
                std::string* refusal) {
  const CTCPModbus::SeveralOperations call(dynamic_cast<CTCPModbus*>(&module));
  return map::WritePoints(module, map, values, refusal);
}

}  // namespace tcpmodbus
