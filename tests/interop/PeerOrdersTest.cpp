// What docs/values.md says of libmodbus's float orders, checked against
// ours: its getter of each name reads our registers of that name, and its
// setter of each name writes the two bytes of each register swapped (so a
// setter's registers read back through the getter of its name give another
// number).
#include <gtest/gtest.h>
#include <modbus.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tcpmodbus/Values.h"

namespace {

using Getter = float (*)(const std::uint16_t*);
using Setter = void (*)(float, std::uint16_t*);

std::vector<unsigned short> Ours(const char* order, float value) {
  tcpmodbus::ValueFormat format;
  std::vector<unsigned short> registers(2);
  EXPECT_TRUE(tcpmodbus::ParseValueFormat("f32", order, &format));
  EXPECT_TRUE(tcpmodbus::EncodeValue(format, value, registers.data()));
  return registers;
}

TEST(PeerOrdersTest, LibmodbusFloatGettersAndSetters) {
  struct Row {
    const char* name;
    Getter get;
    Setter set;
    const char* setterWrites;
  };
  const Row rows[] = {
      {"ABCD", modbus_get_float_abcd, modbus_set_float_abcd, "BADC"},
      {"CDAB", modbus_get_float_cdab, modbus_set_float_cdab, "DCBA"},
      {"BADC", modbus_get_float_badc, modbus_set_float_badc, "ABCD"},
      {"DCBA", modbus_get_float_dcba, modbus_set_float_dcba, "CDAB"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + ", libmodbus " +
                 LIBMODBUS_VERSION_STRING);
    EXPECT_EQ(row.get(Ours(row.name, 123456.0f).data()), 123456.0f);
    std::vector<std::uint16_t> set(2);
    row.set(123456.0f, set.data());
    EXPECT_EQ(std::vector<unsigned short>(set.begin(), set.end()),
              Ours(row.setterWrites, 123456.0f));
  }
}

}  // namespace
