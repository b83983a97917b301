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

// The library's own object, or null for a host's.
CTCPModbus* Own(TCPModbusIntf& module) {
  return dynamic_cast<CTCPModbus*>(&module);
}

Learned* LearnedStore(TCPModbusIntf& module) {
  CTCPModbus* own = Own(module);
  return own != nullptr ? &own->MapLearned : nullptr;
}

// Whether the object sends several requests of a batch before the first
// answer: the library's own, set so and not stepped down. Any other object
// is given its requests one at a time.
bool SendsInFlight(TCPModbusIntf& module) {
  const CTCPModbus* own = Own(module);
  return own != nullptr && own->Settings.maxInFlight > 1 && !own->SteppedDown;
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
  const CTCPModbus::SeveralOperations call(Own(module));
  map::MapReader(module, map, learned, snapshot, SendsInFlight(module))
      .Read(plan, limits);
  return true;
}

int WritePoints(TCPModbusIntf& module, const DeviceMap& map,
                const std::vector<std::pair<std::string, PointValue>>& values,
                std::string* refusal) {
  const CTCPModbus::SeveralOperations call(Own(module));
  return map::WritePoints(module, map, values, refusal);
}

}  // namespace tcpmodbus
