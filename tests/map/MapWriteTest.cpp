// Writing points by name to a module held in memory: the requests each
// write makes, the registers they carry, and values refused before
// anything is sent.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MapText.h"
#include "MemoryModule.h"
#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::PointValue;
using testsupport::MemoryModule;
using Values = std::vector<std::pair<std::string, PointValue>>;

// `count` points r0, r1, ... of `type` from 0 on (short notation), and the
// value 1 for each.
std::pair<std::string, Values> Ones(char table, int count, const char* type,
                                    int width) {
  std::pair<std::string, Values> run;
  for (int i = 0; i < count; ++i) {
    const std::string name = "r" + std::to_string(i);
    run.first +=
        " " + name + "@" + table + std::to_string(i * width) + ":" + type;
    run.second.emplace_back(name, PointValue(std::uint64_t{1}));
  }
  return run;
}

std::string Render(const std::vector<MemoryModule::Request>& requests) {
  std::string text;
  for (const MemoryModule::Request& request : requests) {
    text += std::string(text.empty() ? "" : " | ") + "fc" +
            std::to_string(request.functionCode) + " " +
            std::to_string(request.start) + "+" + std::to_string(request.count);
  }
  return text;
}

TEST(MapWriteTest, ValuesInAddressOrderJoinedUpToTheProtocolsMost) {
  struct Row {
    const char* what;
    std::pair<std::string, Values> map;
    const char* requests;
    std::vector<std::uint16_t> holding;  // registers 0 on, afterwards
  };
  std::pair<std::string, Values> unsplit = Ones('h', 61, "u32", 2);
  unsplit.first += " last@h122:u32";
  unsplit.second.emplace_back("last", PointValue(std::uint64_t{7}));
  // A text takes the byte choice only: CDAB leaves its words in order.
  const std::pair<std::string, Values> mixed = {
      "run@c0:bit stop@c1:bit low@h0 text@h2:string:2:CDAB pi@h4:u32:CDAB "
      "half@h6:i32:ABCD:0.5 wide@h10:f64 far@h20:i16",
      {{"far", PointValue(std::int64_t{-2})},
       {"run", PointValue(true)},
       {"pi", PointValue(3.0)},
       {"stop", PointValue(std::uint64_t{0})},
       {"low", PointValue(std::uint64_t{0x1234})},
       {"text", PointValue(std::string("ABC"))},
       {"half", PointValue(12.5)},
       {"wide", PointValue(1.5)}}};
  const std::vector<Row> rows = {
      {"writes take 123 registers, not 125",
       Ones('h', 125, "u16", 1),
       "fc16 0+123 | fc16 123+2",
       {}},
      {"a value is never split at the most",
       unsplit,
       "fc16 0+122 | fc16 122+2",
       {}},
      {"coils take 1968 a request",
       Ones('c', 1970, "bit", 1),
       "fc15 0+1968 | fc15 1968+2",
       {}},
      {"in address order, by code 6, 16, 5 and 15",
       mixed,
       "fc15 0+2 | fc6 0+1 | fc16 2+6 | fc16 10+4 | fc6 20+1",
       {0x1234, 0, 0x4142, 0x4300, 3, 0, 0, 25, 0, 0, 0x3ff8, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    MemoryModule module;
    std::string refusal = "not cleared";
    EXPECT_EQ(tcpmodbus::WritePoints(module, testsupport::MapOf(row.map.first),
                                     row.map.second, &refusal),
              1);
    EXPECT_EQ(refusal, "");
    EXPECT_EQ(Render(module.requests), row.requests);
    for (std::size_t i = 0; i < row.holding.size(); ++i) {
      EXPECT_EQ(module.holding[i], row.holding[i]) << "register " << i;
    }
  }
}

TEST(MapWriteTest, ARefusedValueSendsNothing) {
  const tcpmodbus::DeviceMap map = testsupport::MapOf(
      "level@i0 set@h0 wide@h0:u32 name@h4:string:2 run@c0:bit "
      "ratio@h8:i16:ABCD:0.001 tiny@h10:f32 long@h20:string:124");
  const std::vector<std::pair<Values, const char*>> rows = {
      {{{"nothing", PointValue(1.0)}}, "no point named 'nothing' in the map"},
      {{{"level", PointValue(std::uint64_t{1})}},
       "point 'level': input points are read only"},
      {{{"set", PointValue(std::uint64_t{70000})}},
       "point 'set': 70000 does not fit u16"},
      {{{"set", PointValue(std::int64_t{-1})}},
       "point 'set': -1 does not fit u16"},
      {{{"ratio", PointValue(40.0)}}, "point 'ratio': 40 does not fit i16"},
      {{{"tiny", PointValue(1e39)}}, "point 'tiny': 1e+39 does not fit f32"},
      {{{"set", PointValue(std::uint64_t{1})},
        {"wide", PointValue(std::uint64_t{2})}},
       "points 'set' and 'wide' are both written at address 0"},
      {{{"name", PointValue(std::string("ABCDE"))}},
       "point 'name': a text of 5 characters does not fit string:2 (at most 4)"},
      {{{"name", PointValue(std::uint64_t{1})}},
       "point 'name': string:2 takes a text"},
      {{{"set", PointValue(std::string("1"))}},
       "point 'set': u16 takes a number"},
      {{{"run", PointValue(std::uint64_t{2})}},
       "point 'run': a bit is 0 or 1, not 2"},
      {{{"set", PointValue(std::uint64_t{1})},
        {"set", PointValue(std::uint64_t{2})}},
       "point 'set': two values given"},
      {{{"set", PointValue(std::uint64_t{1})},
        {"long", PointValue(std::string("x"))}},
       "point 'long': string:124 takes 124 registers, more than one write request carries (at most 123)"},
  };
  for (const auto& [values, message] : rows) {
    SCOPED_TRACE(message);
    MemoryModule module;
    std::string refusal;
    EXPECT_EQ(tcpmodbus::WritePoints(module, map, values, &refusal), 0);
    EXPECT_EQ(refusal, message);
    EXPECT_TRUE(module.requests.empty());
  }
}

// Values as text, as the C interface, the command line and Python give them:
// the point, the text, and the value's text ("" when refused).
TEST(MapWriteTest, ATextValueIsReadAsItsPointTakesIt) {
  const tcpmodbus::DeviceMap map = testsupport::MapOf("set@h0 wide@h1:i64");
  const std::vector<std::vector<const char*>> rows = {
      {"set", "0x1e", "30"},
      {"set", "2.0", "2"},
      {"set", "1e3", "1000"},
      {"set", "2.0x", ""},
      {"wide", "-9223372036854775809", ""}};
  for (const std::vector<const char*>& row : rows) {
    SCOPED_TRACE(row[1]);
    PointValue value;
    EXPECT_EQ(tcpmodbus::ParseValue(map.points()[*map.Find(row[0])], row[1],
                                    &value, nullptr),
              row[2][0] != '\0');
    EXPECT_EQ(tcpmodbus::ValueText(value), row[2]);
  }
}

}  // namespace
