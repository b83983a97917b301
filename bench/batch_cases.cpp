#include "batch_cases.h"

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

// A module's map of 50 points, with no gap allowed between the points of a
// request (only declared addresses are read):
//   coils 0 to 5                      6 points, bits
//   discrete inputs 16 to 19          4 points, bits
//   holding 100 to 109, 110 to 119    10 u16, then 5 u32
//   holding 200 to 211, 212 to 219,   6 f32, 2 f64 and a string of
//           220 to 223                four registers
//   holding 300 to 309                10 i16
//   input 0 to 11                     6 f32
// Each run of declared addresses is one request, the tables in the order a
// plan takes them (coils, discrete inputs, holding and input registers).
std::vector<BatchRead> Map50() {
  return {{kCoil, 0, 6},       {kDiscrete, 16, 4},  {kHolding, 100, 20},
          {kHolding, 200, 24}, {kHolding, 300, 10}, {kInput, 0, 12}};
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
       "a 50-point map (6 coils, 4 discrete inputs, 34 holding and 6 input register points) in 6 reads",
       Map50()},
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
