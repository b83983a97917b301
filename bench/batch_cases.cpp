#include "batch_cases.h"

#include "child_process.h"

namespace {

constexpr int kHolding = TCPMODBUS_TABLE_HOLDING;
constexpr int kInput = TCPMODBUS_TABLE_INPUT;
constexpr int kCoil = TCPMODBUS_TABLE_COIL;
constexpr int kDiscrete = TCPMODBUS_TABLE_DISCRETE;

std::vector<BatchRead> Registers1000() {
  std::vector<BatchRead> reads;
  for (int i = 0; i < 8; ++i) {
    reads.push_back({kHolding, static_cast<std::uint16_t>(125 * i), 125});
  }
  return reads;
}

// A module's map of 50 points:
//   coils 0 to 5                      6 points, bits
//   discrete inputs 16 to 19          4 points, bits
//   holding 100 to 109, 110 to 119    10 u16, then 5 u32
//   holding 200 to 211, 212 to 219,   6 f32, 2 f64 and a string of
//           220 to 223                four registers
//   holding 300 to 309                10 i16
//   input 0 to 11                     6 f32
// No undeclared address may be read, so each run of declared addresses is
// one request of its plan: six.
tcpmodbus::DeviceMap MakeMap50() {
  tcpmodbus::DeviceMap map;
  auto add = [&](tcpmodbus::PointTable table, int first, int count, int width,
                 const char* type) {
    for (int i = 0; i < count; ++i) {
      tcpmodbus::Point point;
      point.table = table;
      point.address = static_cast<std::uint16_t>(first + i * width);
      point.name = std::string(tcpmodbus::TableName(table)) +
                   std::to_string(point.address);
      point.type = type;
      std::string error;
      if (!map.Add(point, &error)) BenchFail("the 50-point map: " + error);
    }
  };
  using tcpmodbus::PointTable;
  add(PointTable::kCoil, 0, 6, 1, "bit");
  add(PointTable::kDiscrete, 16, 4, 1, "bit");
  add(PointTable::kHolding, 100, 10, 1, "u16");
  add(PointTable::kHolding, 110, 5, 2, "u32");
  add(PointTable::kHolding, 200, 6, 2, "f32");
  add(PointTable::kHolding, 212, 2, 4, "f64");
  add(PointTable::kHolding, 220, 1, 4, "string:4");
  add(PointTable::kHolding, 300, 10, 1, "i16");
  add(PointTable::kInput, 0, 6, 2, "f32");
  return map;
}

const tcpmodbus::DeviceMap& Map50() {
  static const tcpmodbus::DeviceMap map = MakeMap50();
  return map;
}

// The requests the library's planner makes of `map`.
std::vector<BatchRead> PlanOf(const tcpmodbus::DeviceMap& map) {
  tcpmodbus::Plan plan;
  std::string error;
  if (!tcpmodbus::MakePlan(map, tcpmodbus::PlanLimits(), tcpmodbus::Learned(),
                           &plan, &error)) {
    BenchFail("the 50-point map's plan: " + error);
  }
  std::vector<BatchRead> reads;
  for (const tcpmodbus::PlannedRequest& request : plan.requests()) {
    reads.push_back(
        {static_cast<int>(request.table), request.start, request.count});
  }
  return reads;
}

std::vector<BatchRead> Registers64Times() {
  std::vector<BatchRead> reads;
  for (int i = 0; i < 64; ++i) {
    reads.push_back({kHolding, static_cast<std::uint16_t>(125 * (i % 8)), 125});
  }
  return reads;
}

}  // namespace

const std::vector<BatchCase>& BatchCases() {
  static const std::vector<BatchCase> cases = {
      {"read1000", "1000 holding registers in 8 reads of 125", Registers1000()},
      {"map50",
       "a 50-point map (6 coils, 4 discrete inputs, 34 holding and 6 input register points): ReadMap, the others its plan's 6 reads",
       PlanOf(Map50()), &Map50()},
      {"read64", "64 reads of 125 holding registers", Registers64Times()},
  };
  return cases;
}

const BatchCase* FindBatchCase(const std::string& name) {
  for (const BatchCase& c : BatchCases()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

const char* TableName(int table) {
  switch (table) {
    case kHolding:
      return "holding";
    case kInput:
      return "input";
    case kCoil:
      return "coil";
    case kDiscrete:
      return "discrete";
  }
  return "?";
}

bool IsRegisterTable(int table) { return table == kHolding || table == kInput; }

std::uint16_t RegisterPattern(int address) {
  return static_cast<std::uint16_t>(address * 7 + 1);
}

bool CoilPattern(int address) { return address % 3 != 1; }
