#include "map/Tables.h"

namespace tcpmodbus {
namespace map {
namespace {

struct NamedTable {
  PointTable table;
  const char* name;
};

constexpr NamedTable kNames[] = {
    {PointTable::kCoil, "coil"},
    {PointTable::kDiscrete, "discrete"},
    {PointTable::kHolding, "holding"},
    {PointTable::kInput, "input"},
};

struct NamedStatus {
  ReadingStatus status;
  const char* name;
};

constexpr NamedStatus kStatuses[] = {
    {ReadingStatus::kOk, "ok"},
    {ReadingStatus::kException, "exception"},
    {ReadingStatus::kTimeout, "timeout"},
    {ReadingStatus::kFailed, "failed"},
    {ReadingStatus::kNotRead, "not read"},
    {ReadingStatus::kHole, "hole"},
};

}  // namespace

bool ParseTable(const std::string& text, PointTable* table) {
  for (const NamedTable& named : kNames) {
    if (text == named.name) {
      *table = named.table;
      return true;
    }
  }
  return false;
}

bool HoldsBits(PointTable table) {
  return table == PointTable::kCoil || table == PointTable::kDiscrete;
}

bool Writable(PointTable table) {
  return table == PointTable::kCoil || table == PointTable::kHolding;
}

unsigned MaxRead(PointTable table) {
  return HoldsBits(table) ? TCPMODBUS_MAX_READ_BITS
                          : TCPMODBUS_MAX_READ_REGISTERS;
}

}  // namespace map

const char* TableName(PointTable table) {
  for (const map::NamedTable& named : map::kNames) {
    if (named.table == table) return named.name;
  }
  return "";
}

const char* ReadingStatusName(ReadingStatus status) {
  for (const map::NamedStatus& named : map::kStatuses) {
    if (named.status == status) return named.name;
  }
  return "unknown";
}

}  // namespace tcpmodbus
