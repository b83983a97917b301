// Refusals a real device makes that the tables alone do not: addresses left
// undeclared inside a table (exception 2) and a per-request limit below the
// protocol's (exception 3), so that a host's read planner can be tried.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tcpmodbus::sim {

// The four tables, in the order of the names the options give them.
enum Table { kCoil, kDiscrete, kInput, kHolding, kTables };

class RequestRules {
 public:
  // Adds "TABLE:FIRST-LAST[,TABLE:FIRST-LAST...]" (TABLE coil, discrete,
  // input or holding; "TABLE:ADDR" for one address). False, with the part
  // that is wrong in `bad`, when the text is not that.
  bool AddUndeclared(const std::string& text, std::string* bad);
  void SetMaxRegisters(int count) { maxRegisters_ = count; }
  void SetMaxBits(int count) { maxBits_ = count; }

  // The exception code the module answers a request with (`pdu` starts at
  // its function code and holds every field it carries), or 0 to serve it.
  // The count is judged before the addresses, as the protocol orders them.
  int ExceptionFor(const std::uint8_t* pdu) const;

 private:
  // Addresses first to last, both included.
  std::vector<std::pair<int, int>> undeclared_[kTables];
  int maxRegisters_ = 0;  // 0: the protocol's limits alone
  int maxBits_ = 0;
};

}  // namespace tcpmodbus::sim
