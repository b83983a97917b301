// The four tables by name, and what each holds.
#ifndef TCPMODBUS_MAP_TABLES_H_
#define TCPMODBUS_MAP_TABLES_H_

#include <string>

#include "tcpmodbus/DeviceMap.h"

namespace tcpmodbus {
namespace map {

// The tables in the order a plan serves them.
constexpr PointTable kTables[] = {PointTable::kCoil, PointTable::kDiscrete,
                                  PointTable::kHolding, PointTable::kInput};

// "coil", "discrete", "holding" or "input"; false for any other text.
bool ParseTable(const std::string& text, PointTable* table);
// Coils and discrete inputs hold bits; the others registers.
bool HoldsBits(PointTable table);
// Coils and holding registers can be written.
bool Writable(PointTable table);
// The protocol's most of one read of the table.
unsigned MaxRead(PointTable table);

}  // namespace map
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MAP_TABLES_H_
