// The device map (library 1.3): a module's points by name, a plan that reads
// them in the fewest requests the limits allow without reading an address
// the map does not declare, a snapshot of one read, and writes by name. It
// runs the object's own operations (ReadHoldRegs, ReadInputRegs, ReadCoils,
// ReadDiscreteInputs and the writes), so their frames, trace and error
// record are what they always are. docs/maps.md has the rules.
//
//   tcpmodbus::DeviceMap map;
//   std::string error;
//   if (!tcpmodbus::LoadMap("module.csv", &map, &error)) { ... }
//   tcpmodbus::PlanLimits limits;
//   limits.maxRegisters = 40;  // what the device takes in one request
//   tcpmodbus::Snapshot snapshot;
//   if (tcpmodbus::ReadMap(*module, map, limits, &snapshot, &error)) {
//     for (std::size_t i = 0; i < map.points().size(); ++i) {
//       const tcpmodbus::Reading& reading = snapshot.readings[i];
//       ... map.points()[i].name, tcpmodbus::ValueText(reading.value),
//           tcpmodbus::ReadingStatusName(reading.status) ...
//     }
//   }
//
// One object serves one thread at a time, as the operations do. This header
// needs C++17 (std::optional, std::variant); TCPModbusIntf.h does not.
#ifndef TCPMODBUS_DEVICEMAP_H_
#define TCPMODBUS_DEVICEMAP_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tcpmodbus/TCPModbusIntf.h"
#include "tcpmodbus/export.h"
#include "tcpmodbus/tcpmodbus.h"

namespace tcpmodbus {

// A point's table: the numbers are the function codes that read them.
enum class PointTable : int {
  kCoil = TCPMODBUS_TABLE_COIL,
  kDiscrete = TCPMODBUS_TABLE_DISCRETE,
  kHolding = TCPMODBUS_TABLE_HOLDING,
  kInput = TCPMODBUS_TABLE_INPUT,
};

// One named value of a module.
struct Point {
  std::string name;
  PointTable table = PointTable::kHolding;
  std::uint16_t address = 0;
  // "bit" for coils and discrete inputs; for registers "u16", "i16", "u32",
  // "i32", "u64", "i64", "f32", "f64" or "string:N" (N registers).
  std::string type = "u16";
  // Where the value's bytes go in its registers: ABCD (the default), CDAB,
  // BADC, DCBA, and for 64-bit types their eight-letter names as well.
  std::string order = "ABCD";
  // Values read are multiplied by it, values written divided by it.
  std::optional<double> scale;
  std::string unit;  // shown beside the value; never sent
};

// Points by unique name, in the order they were added.
class TCPMODBUS_EXPORT DeviceMap {
 public:
  // Appends `point`, or refuses it with the reason in *error (when not null)
  // and leaves the map as it was: a name that is empty, holds a comma, an
  // equals sign or a control character, or is taken; a type that is not its
  // table's; an order the type does not take; a value that goes past
  // address 65535; a scale on a text or a bit, or one that is 0 or not
  // finite. An empty order is stored as ABCD.
  bool Add(const Point& point, std::string* error);
  const std::vector<Point>& points() const { return points_; }
  // The index of the point of that name, if any.
  std::optional<std::size_t> Find(const std::string& name) const;

 private:
  std::vector<Point> points_;
  std::map<std::string, std::size_t> names_;
};

// Appends the points of CSV text with the header
// name,table,address,type,order,scale,unit to `map`: all of them, or none,
// and false with "SOURCE:LINE:COLUMN: reason" in *error. `source` names the
// text in that reason.
TCPMODBUS_EXPORT bool ParseMap(const std::string& text,
                               const std::string& source, DeviceMap* map,
                               std::string* error);
// The same for the file at `path`.
TCPMODBUS_EXPORT bool LoadMap(const std::string& path, DeviceMap* map,
                              std::string* error);

// What one request of a plan may be.
struct PlanLimits {
  // The addresses no point declares that a request may read, in any one
  // stretch between points; 0 never reads one.
  unsigned maxGap = 0;
  // The most registers (1 to 125) and bits (1 to 2000) one request reads:
  // the protocol's most, lowered to what the device takes.
  unsigned maxRegisters = TCPMODBUS_MAX_READ_REGISTERS;
  unsigned maxBits = TCPMODBUS_MAX_READ_BITS;
};

// What an object learned from a module's refusals, kept with the object for
// its later plans.
struct Hole {
  PointTable table;
  std::uint16_t start;
  std::uint16_t count;
  int exceptionCode;  // what the module answered: 2 or 3
};
struct LearnedLimit {
  PointTable table;
  unsigned count;  // the most one request of the table reads
};
struct Learned {
  std::vector<Hole> holes;
  std::vector<LearnedLimit> limits;
};

// One request of a plan: `count` registers or bits of `table` from `start`,
// serving the map's points whose indexes `points` holds, in address order.
struct PlannedRequest {
  PointTable table;
  std::uint16_t start;
  std::uint16_t count;
  std::vector<std::size_t> points;
};

// The requests that read a map, by table (coils, discrete inputs, holding
// registers, input registers), each in address order; and the points no
// request serves because they touch a hole.
class Plan {
 public:
  Plan() = default;
  Plan(std::vector<PlannedRequest> requests, std::vector<std::size_t> skipped)
      : requests_(std::move(requests)), skipped_(std::move(skipped)) {}
  const std::vector<PlannedRequest>& requests() const { return requests_; }
  const std::vector<std::size_t>& skipped() const { return skipped_; }

 private:
  std::vector<PlannedRequest> requests_;
  std::vector<std::size_t> skipped_;
};

// Plans `map`: false, with the reason in *error, for limits out of range or
// a point wider than one request may read.
TCPMODBUS_EXPORT bool MakePlan(const DeviceMap& map, const PlanLimits& limits,
                               const Learned& learned, Plan* plan,
                               std::string* error);
// The same with what `module` learned (nothing, for an object that is not
// the library's own).
TCPMODBUS_EXPORT bool MakePlan(TCPModbusIntf& module, const DeviceMap& map,
                               const PlanLimits& limits, Plan* plan,
                               std::string* error);

// What `module` learned, and forgetting it.
TCPMODBUS_EXPORT Learned LearnedOf(TCPModbusIntf& module);
TCPMODBUS_EXPORT void ClearLearned(TCPModbusIntf& module);

enum class ReadingStatus : int {
  kOk = TCPMODBUS_READING_OK,
  kException = TCPMODBUS_READING_EXCEPTION,
  kTimeout = TCPMODBUS_READING_TIMEOUT,
  kFailed = TCPMODBUS_READING_FAILED,
  kNotRead = TCPMODBUS_READING_NOT_READ,
  kHole = TCPMODBUS_READING_HOLE,
};

// A point's value: nothing (not read), a bit, an integer of its type, a
// floating value (f32, f64, and every scaled value) or a text.
using PointValue = std::variant<std::monostate, bool, std::int64_t,
                                std::uint64_t, double, std::string>;

struct Reading {
  PointValue value;
  ReadingStatus status = ReadingStatus::kNotRead;
  int exceptionCode = 0;  // kException, kHole
  int errorCode = 0;      // TCPMODBUS_ERROR_* of its request's failure
  // When the answer that carried it (or refused it) came.
  std::chrono::system_clock::time_point time{};
  std::size_t request = 0;  // its request's number in Snapshot::requests
};

// A request as it was sent, and how it ended.
struct SentRequest {
  PointTable table;
  std::uint16_t start;
  std::uint16_t count;
  int errorCode;  // 0: answered
  int exceptionCode;
};

struct Snapshot {
  std::vector<Reading> readings;      // one per point of the map, in its order
  std::vector<SentRequest> requests;  // in the order sent; numbered from 1
};

// Reads every point of `map` through `module`, as MakePlan(module, ...)
// plans it, splitting a request refused with exception 2 or 3 until the
// points that cause the refusal are found; the object learns them. A
// failure that loses the connection ends the read. False, with the reason
// in *error and nothing sent, only when the plan is refused.
TCPMODBUS_EXPORT bool ReadMap(TCPModbusIntf& module, const DeviceMap& map,
                              const PlanLimits& limits, Snapshot* snapshot,
                              std::string* error);
// The same, learning into `learned` instead of the object.
TCPMODBUS_EXPORT bool ReadMap(TCPModbusIntf& module, const DeviceMap& map,
                              const PlanLimits& limits, Learned* learned,
                              Snapshot* snapshot, std::string* error);

// Writes points of `map` by name (docs/maps.md): 1 on success. 0 with the
// reason in *refusal (when not null) and nothing sent for a value refused;
// 0 with *refusal empty when the module failed a request, which the
// object's LastErrorCode and LastErrorString tell (the requests before it
// were written).
TCPMODBUS_EXPORT int WritePoints(
    TCPModbusIntf& module, const DeviceMap& map,
    const std::vector<std::pair<std::string, PointValue>>& values,
    std::string* refusal);

// Reads a value for `point` from text: a number in decimal, 0x-hex or
// floating notation, a bit 0 or 1, a text as it is.
TCPMODBUS_EXPORT bool ParseValue(const Point& point, const std::string& text,
                                 PointValue* value, std::string* error);
// The exact text of a value: integers in decimal, floating values in the
// fewest digits that read back the same, a bit "0" or "1", a text as it is,
// nothing as "".
TCPMODBUS_EXPORT std::string ValueText(const PointValue& value);
// "coil", "discrete", "holding", "input"; "" for another number.
TCPMODBUS_EXPORT const char* TableName(PointTable table);
// "ok", "exception", "timeout", "failed", "not read", "hole".
TCPMODBUS_EXPORT const char* ReadingStatusName(ReadingStatus status);

}  // namespace tcpmodbus

#endif  // TCPMODBUS_DEVICEMAP_H_
