#include "RequestRules.h"

#include <modbus.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "Frame.h"

namespace tcpmodbus::sim {

namespace {

constexpr const char* kTableNames[] = {"coil", "discrete", "input", "holding"};

bool ParseAddress(const std::string& text, int* address) {
  if (text.empty() || text.find_first_not_of("0123456789") != text.npos) {
    return false;
  }
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || value > 65535) return false;
  *address = static_cast<int>(value);
  return true;
}

// The addresses a request reads or writes in one table.
struct Span {
  Table table;
  int first;
  int count;
};

// Up to two spans: function 23 reads one and writes another.
int SpansOf(const std::uint8_t* pdu, Span spans[2]) {
  const int address = Word(pdu + 1);
  switch (pdu[0]) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
      spans[0] = {kCoil, address, Word(pdu + 3)};
      return 1;
    case MODBUS_FC_WRITE_SINGLE_COIL:
      spans[0] = {kCoil, address, 1};
      return 1;
    case MODBUS_FC_READ_DISCRETE_INPUTS:
      spans[0] = {kDiscrete, address, Word(pdu + 3)};
      return 1;
    case MODBUS_FC_READ_INPUT_REGISTERS:
      spans[0] = {kInput, address, Word(pdu + 3)};
      return 1;
    case MODBUS_FC_READ_HOLDING_REGISTERS:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
      spans[0] = {kHolding, address, Word(pdu + 3)};
      return 1;
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
    case MODBUS_FC_MASK_WRITE_REGISTER:
      spans[0] = {kHolding, address, 1};
      return 1;
    case MODBUS_FC_WRITE_AND_READ_REGISTERS:
      spans[0] = {kHolding, address, Word(pdu + 3)};
      spans[1] = {kHolding, Word(pdu + 5), Word(pdu + 7)};
      return 2;
    default:
      return 0;
  }
}

}  // namespace

bool RequestRules::AddUndeclared(const std::string& text, std::string* bad) {
  std::istringstream parts(text);
  std::string part;
  while (std::getline(parts, part, ',')) {
    *bad = part;
    const std::size_t colon = part.find(':');
    if (colon == part.npos) return false;
    const std::string name = part.substr(0, colon);
    int table = 0;
    while (table < kTables && name != kTableNames[table]) ++table;
    if (table == kTables) return false;
    const std::string range = part.substr(colon + 1);
    const std::size_t dash = range.find('-');
    int first = 0;
    int last = 0;
    if (!ParseAddress(range.substr(0, dash), &first)) return false;
    last = first;
    if (dash != range.npos && !ParseAddress(range.substr(dash + 1), &last)) {
      return false;
    }
    if (last < first) return false;
    undeclared_[table].emplace_back(first, last);
  }
  *bad = text;
  return !text.empty() && text.back() != ',';
}

int RequestRules::ExceptionFor(const std::uint8_t* pdu) const {
  Span spans[2];
  const int count = SpansOf(pdu, spans);
  for (int i = 0; i < count; ++i) {
    const bool bits = spans[i].table == kCoil || spans[i].table == kDiscrete;
    const int limit = bits ? maxBits_ : maxRegisters_;
    if (limit != 0 && spans[i].count > limit) {
      return MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE;
    }
  }
  for (int i = 0; i < count; ++i) {
    const int end = spans[i].first + spans[i].count;  // past the last
    for (const auto& range : undeclared_[spans[i].table]) {
      if (spans[i].first <= range.second && range.first < end) {
        return MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS;
      }
    }
  }
  return 0;
}

}  // namespace tcpmodbus::sim
