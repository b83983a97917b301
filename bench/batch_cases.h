// What the batch benchmark reads: each case a list of reads that one call
// makes, in the order a host asks for them.
#ifndef TCPMODBUS_BENCH_BATCH_CASES_H_
#define TCPMODBUS_BENCH_BATCH_CASES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/tcpmodbus.h"

struct BatchRead {
  int table;  // TCPMODBUS_TABLE_*
  std::uint16_t address;
  std::uint16_t count;
};

struct BatchCase {
  std::string name;
  std::string what;  // for the report
  std::vector<BatchRead> reads;
  // A device map that the reads are the plan of: the library's batch
  // clients read it with ReadMap, the others read its plan's requests.
  const tcpmodbus::DeviceMap* map = nullptr;
};

// read1000: registers 0 to 999 as eight reads of 125; map50: the 50-point
// map of batch_cases.cpp and the requests of its plan; read64: 64 reads of 125
// registers, eight times over registers 0 to 999, which keeps the window
// refilled for most of the batch.
const std::vector<BatchCase>& BatchCases();
const BatchCase* FindBatchCase(const std::string& name);

// "holding", "input", "coil" or "discrete".
const char* TableName(int table);
bool IsRegisterTable(int table);

// What the benchmark writes into the module's holding registers and coils
// before it starts, so that every client's values can be checked.
std::uint16_t RegisterPattern(int address);
bool CoilPattern(int address);

#endif  // TCPMODBUS_BENCH_BATCH_CASES_H_
