// The device map's C functions (tcpmodbus.h): handles over the C++ map,
// plan and snapshot of DeviceMap.h. A refusal of a call that takes a module
// is recorded as the module's last failure (INVALID_ARGUMENT, with its
// reason), as the operations record theirs; the map's own calls keep their
// reason in the map.
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/Attributes.h"
#include "front/CHandle.h"
#include "map/Format.h"
#include "map/LearnedRules.h"
#include "map/Tables.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/tcpmodbus.h"

struct tcpmodbus_map {
  tcpmodbus::DeviceMap map;
  std::string error;
};

struct tcpmodbus_plan {
  tcpmodbus::Plan plan;
};

struct tcpmodbus_snapshot {
  tcpmodbus::Snapshot snapshot;
  std::vector<std::string> texts;  // each reading's value as text
};

namespace {

using tcpmodbus::CTCPModbus;
using tcpmodbus::ErrorCode;
using tcpmodbus::Failure;
using tcpmodbus::PointTable;

const char* TextOrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

void Refuse(CTCPModbus& object, const char* name, const std::string& reason) {
  object.ModbusClient.Fail(Failure::Of(ErrorCode::kInvalidArgument), "%s: %s",
                           name, reason.c_str());
}

tcpmodbus::PlanLimits LimitsOf(unsigned int maxGap, unsigned int maxRegisters,
                               unsigned int maxBits) {
  tcpmodbus::PlanLimits limits;
  limits.maxGap = maxGap;
  limits.maxRegisters = maxRegisters;
  limits.maxBits = maxBits;
  return limits;
}

// Runs a call of the map's own, which keeps its reason in the map; 0 for a
// null map or an exception.
template <typename Call>
int OnMap(tcpmodbus_map* map, const char* name, Call call) {
  if (map == nullptr) return 0;
  try {
    return call(*map);
  } catch (const std::bad_alloc&) {
    map->error = tcpmodbus::map::Format("%s: Out of memory", name);
  }
  TCPMODBUS_RETHROW_FORCED_UNWIND
  catch (...) {
    map->error = tcpmodbus::map::Format("%s: Unexpected failure", name);
  }
  return 0;
}

const tcpmodbus::Reading* ReadingAt(const tcpmodbus_snapshot* snapshot,
                                    size_t index) {
  if (snapshot == nullptr || index >= snapshot->snapshot.readings.size()) {
    return nullptr;
  }
  return &snapshot->snapshot.readings[index];
}

template <typename Value>
void Put(Value* to, Value value) {
  if (to != nullptr) *to = value;
}

}  // namespace

tcpmodbus_map* tcpmodbus_map_create(void) {
  return new (std::nothrow) tcpmodbus_map();
}

void tcpmodbus_map_destroy(tcpmodbus_map* map) { delete map; }

int tcpmodbus_map_add(tcpmodbus_map* map, const char* name, const char* table,
                      unsigned short address, const char* type,
                      const char* order, double scale, const char* unit) {
  return OnMap(map, "tcpmodbus_map_add", [&](tcpmodbus_map& into) {
    tcpmodbus::Point point;
    point.name = TextOrEmpty(name);
    if (!tcpmodbus::map::ParseTable(TextOrEmpty(table), &point.table)) {
      into.error = tcpmodbus::map::Format(
          "point '%s': table '%s' is not one of coil, discrete, holding, input",
          point.name.c_str(), TextOrEmpty(table));
      return 0;
    }
    point.address = address;
    point.type = TextOrEmpty(type);
    if (point.type.empty()) {
      point.type = tcpmodbus::map::HoldsBits(point.table) ? "bit" : "u16";
    }
    point.order = TextOrEmpty(order);
    if (scale != 0) point.scale = scale;
    point.unit = TextOrEmpty(unit);
    return into.map.Add(point, &into.error) ? 1 : 0;
  });
}

int tcpmodbus_map_load(tcpmodbus_map* map, const char* path) {
  return OnMap(map, "tcpmodbus_map_load", [&](tcpmodbus_map& into) {
    return tcpmodbus::LoadMap(TextOrEmpty(path), &into.map, &into.error) ? 1
                                                                         : 0;
  });
}

const char* tcpmodbus_map_error(const tcpmodbus_map* map) {
  return map != nullptr ? map->error.c_str() : "";
}

size_t tcpmodbus_map_size(const tcpmodbus_map* map) {
  return map != nullptr ? map->map.points().size() : 0;
}

int tcpmodbus_map_point(const tcpmodbus_map* map, size_t index,
                        const char** name, const char** table,
                        unsigned short* address, const char** type,
                        const char** order, double* scale, const char** unit) {
  if (map == nullptr || index >= map->map.points().size()) return 0;
  const tcpmodbus::Point& point = map->map.points()[index];
  Put(name, point.name.c_str());
  Put(table, tcpmodbus::TableName(point.table));
  Put(address, static_cast<unsigned short>(point.address));
  Put(type, point.type.c_str());
  Put(order, point.order.c_str());
  Put(scale, point.scale ? *point.scale : 0.0);
  Put(unit, point.unit.c_str());
  return 1;
}

tcpmodbus_plan* tcpmodbus_plan_create(tcpmodbus_module* module,
                                      const tcpmodbus_map* map,
                                      unsigned int max_gap,
                                      unsigned int max_registers,
                                      unsigned int max_bits) {
  static constexpr char kName[] = "tcpmodbus_plan_create";
  tcpmodbus_plan* made = nullptr;
  tcpmodbus::Guarded(module, kName, [&](CTCPModbus& object) {
    if (map == nullptr) {
      Refuse(object, kName, "Null map");
      return 0;
    }
    auto plan = std::make_unique<tcpmodbus_plan>();
    std::string error;
    if (!tcpmodbus::MakePlan(object, map->map,
                             LimitsOf(max_gap, max_registers, max_bits),
                             &plan->plan, &error)) {
      Refuse(object, kName, error);
      return 0;
    }
    made = plan.release();
    return 1;
  });
  return made;
}

void tcpmodbus_plan_destroy(tcpmodbus_plan* plan) { delete plan; }

size_t tcpmodbus_plan_requests(const tcpmodbus_plan* plan) {
  return plan != nullptr ? plan->plan.requests().size() : 0;
}

int tcpmodbus_plan_request(const tcpmodbus_plan* plan, size_t index,
                           const char** table, unsigned short* start,
                           unsigned short* count, size_t* points) {
  if (plan == nullptr || index >= plan->plan.requests().size()) return 0;
  const tcpmodbus::PlannedRequest& request = plan->plan.requests()[index];
  Put(table, tcpmodbus::TableName(request.table));
  Put(start, static_cast<unsigned short>(request.start));
  Put(count, static_cast<unsigned short>(request.count));
  Put(points, request.points.size());
  return 1;
}

size_t tcpmodbus_plan_point(const tcpmodbus_plan* plan, size_t index,
                            size_t nth) {
  constexpr size_t kNone = static_cast<size_t>(-1);
  if (plan == nullptr || index >= plan->plan.requests().size()) return kNone;
  const std::vector<size_t>& points = plan->plan.requests()[index].points;
  return nth < points.size() ? points[nth] : kNone;
}

tcpmodbus_snapshot* tcpmodbus_map_read(tcpmodbus_module* module,
                                       const tcpmodbus_map* map,
                                       unsigned int max_gap,
                                       unsigned int max_registers,
                                       unsigned int max_bits) {
  static constexpr char kName[] = "tcpmodbus_map_read";
  tcpmodbus_snapshot* made = nullptr;
  tcpmodbus::Guarded(module, kName, [&](CTCPModbus& object) {
    if (map == nullptr) {
      Refuse(object, kName, "Null map");
      return 0;
    }
    // Made first, so that memory running out sends nothing.
    auto snapshot = std::make_unique<tcpmodbus_snapshot>();
    snapshot->texts.reserve(map->map.points().size());
    std::string error;
    if (!tcpmodbus::ReadMap(object, map->map,
                            LimitsOf(max_gap, max_registers, max_bits),
                            &snapshot->snapshot, &error)) {
      Refuse(object, kName, error);
      return 0;
    }
    for (const tcpmodbus::Reading& reading : snapshot->snapshot.readings) {
      snapshot->texts.push_back(tcpmodbus::ValueText(reading.value));
    }
    made = snapshot.release();
    return 1;
  });
  return made;
}

void tcpmodbus_snapshot_destroy(tcpmodbus_snapshot* snapshot) {
  delete snapshot;
}

size_t tcpmodbus_snapshot_size(const tcpmodbus_snapshot* snapshot) {
  return snapshot != nullptr ? snapshot->snapshot.readings.size() : 0;
}

int tcpmodbus_snapshot_status(const tcpmodbus_snapshot* snapshot,
                              size_t index) {
  const tcpmodbus::Reading* reading = ReadingAt(snapshot, index);
  return static_cast<int>(reading != nullptr
                              ? reading->status
                              : tcpmodbus::ReadingStatus::kNotRead);
}

int tcpmodbus_snapshot_exception_code(const tcpmodbus_snapshot* snapshot,
                                      size_t index) {
  const tcpmodbus::Reading* reading = ReadingAt(snapshot, index);
  return reading != nullptr ? reading->exceptionCode : 0;
}

int tcpmodbus_snapshot_error_code(const tcpmodbus_snapshot* snapshot,
                                  size_t index) {
  const tcpmodbus::Reading* reading = ReadingAt(snapshot, index);
  return reading != nullptr ? reading->errorCode : 0;
}

double tcpmodbus_snapshot_time(const tcpmodbus_snapshot* snapshot,
                               size_t index) {
  const tcpmodbus::Reading* reading = ReadingAt(snapshot, index);
  if (reading == nullptr) return 0;
  return std::chrono::duration<double>(reading->time.time_since_epoch())
      .count();
}

size_t tcpmodbus_snapshot_request(const tcpmodbus_snapshot* snapshot,
                                  size_t index) {
  const tcpmodbus::Reading* reading = ReadingAt(snapshot, index);
  return reading != nullptr ? reading->request : 0;
}

double tcpmodbus_snapshot_value(const tcpmodbus_snapshot* snapshot,
                                size_t index) {
  const tcpmodbus::Reading* reading = ReadingAt(snapshot, index);
  const double none = std::numeric_limits<double>::quiet_NaN();
  if (reading == nullptr) return none;
  const tcpmodbus::PointValue& value = reading->value;
  if (const auto* bit = std::get_if<bool>(&value)) return *bit ? 1 : 0;
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* integer = std::get_if<std::int64_t>(&value)) {
    return static_cast<double>(*integer);
  }
  if (const auto* integer = std::get_if<std::uint64_t>(&value)) {
    return static_cast<double>(*integer);
  }
  return none;
}

const char* tcpmodbus_snapshot_text(const tcpmodbus_snapshot* snapshot,
                                    size_t index) {
  if (snapshot == nullptr || index >= snapshot->texts.size()) return "";
  return snapshot->texts[index].c_str();
}

size_t tcpmodbus_snapshot_requests(const tcpmodbus_snapshot* snapshot) {
  return snapshot != nullptr ? snapshot->snapshot.requests.size() : 0;
}

int tcpmodbus_snapshot_sent(const tcpmodbus_snapshot* snapshot, size_t number,
                            const char** table, unsigned short* start,
                            unsigned short* count, int* error_code,
                            int* exception_code) {
  if (snapshot == nullptr || number == 0 ||
      number > snapshot->snapshot.requests.size()) {
    return 0;
  }
  const tcpmodbus::SentRequest& sent = snapshot->snapshot.requests[number - 1];
  Put(table, tcpmodbus::TableName(sent.table));
  Put(start, static_cast<unsigned short>(sent.start));
  Put(count, static_cast<unsigned short>(sent.count));
  Put(error_code, sent.errorCode);
  Put(exception_code, sent.exceptionCode);
  return 1;
}

const char* tcpmodbus_reading_status_name(int status) {
  return tcpmodbus::ReadingStatusName(
      static_cast<tcpmodbus::ReadingStatus>(status));
}

size_t tcpmodbus_holes(tcpmodbus_module* module) {
  return module != nullptr ? module->object.MapLearned.holes.size() : 0;
}

int tcpmodbus_hole(tcpmodbus_module* module, size_t index, const char** table,
                   unsigned short* start, unsigned short* count,
                   int* exception_code) {
  if (module == nullptr || index >= module->object.MapLearned.holes.size()) {
    return 0;
  }
  const tcpmodbus::Hole& hole = module->object.MapLearned.holes[index];
  Put(table, tcpmodbus::TableName(hole.table));
  Put(start, static_cast<unsigned short>(hole.start));
  Put(count, static_cast<unsigned short>(hole.count));
  Put(exception_code, hole.exceptionCode);
  return 1;
}

unsigned int tcpmodbus_learned_limit(tcpmodbus_module* module,
                                     const char* table) {
  PointTable which = PointTable::kHolding;
  if (module == nullptr ||
      !tcpmodbus::map::ParseTable(TextOrEmpty(table), &which)) {
    return 0;
  }
  return tcpmodbus::map::LimitOf(module->object.MapLearned, which);
}

int tcpmodbus_clear_holes(tcpmodbus_module* module) {
  if (module == nullptr) return 0;
  module->object.MapLearned = tcpmodbus::Learned();
  return 1;
}

int tcpmodbus_map_write(tcpmodbus_module* module, const tcpmodbus_map* map,
                        size_t count, const char* const* names,
                        const char* const* values) {
  static constexpr char kName[] = "tcpmodbus_map_write";
  return tcpmodbus::Guarded(module, kName, [&](CTCPModbus& object) {
    if (map == nullptr ||
        (count != 0 && (names == nullptr || values == nullptr))) {
      Refuse(object, kName, "Null map, names or values");
      return 0;
    }
    std::vector<std::pair<std::string, tcpmodbus::PointValue>> written;
    std::string refusal;
    for (size_t i = 0; i < count; ++i) {
      const std::string name = TextOrEmpty(names[i]);
      const std::optional<std::size_t> index = map->map.Find(name);
      tcpmodbus::PointValue value;
      if (!index) {
        Refuse(object, kName,
               tcpmodbus::map::Format("no point named '%s' in the map",
                                      name.c_str()));
        return 0;
      }
      if (!tcpmodbus::ParseValue(map->map.points()[*index],
                                 TextOrEmpty(values[i]), &value, &refusal)) {
        Refuse(object, kName, refusal);
        return 0;
      }
      written.emplace_back(name, std::move(value));
    }
    const int result =
        tcpmodbus::WritePoints(object, map->map, written, &refusal);
    if (!refusal.empty()) Refuse(object, kName, refusal);
    return result;
  });
}
