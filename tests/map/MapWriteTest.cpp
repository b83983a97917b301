// Writing points by name to a module held in memory: the requests each
// write makes, the registers they carry, and values refused before
// anything is sent.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "MemoryModule.h"
#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::DeviceMap;
using tcpmodbus::Point;
using tcpmodbus::PointTable;
using tcpmodbus::PointValue;
using testsupport::MemoryModule;
using Values = std::vector<std::pair<std::string, PointValue>>;

Point Make(const std::string& name, PointTable table, std::uint16_t address,
           const std::string& type, const std::string& order = "ABCD",
           double scale = 0) {
  Point point;
  point.name = name;
  point.table = table;
  point.address = address;
  point.type = type;
  point.order = order;
  if (scale != 0) point.scale = scale;
  return point;
}

// `count` points of `type` from `first` on, named prefix0, prefix1, ..., and
// a value for each.
void AddRun(DeviceMap* map, Values* values, const std::string& prefix,
            PointTable table, int count, const std::string& type, int width) {
  for (int i = 0; i < count; ++i) {
    const std::string name = prefix + std::to_string(i);
    ASSERT_TRUE(
        map->Add(Make(name, table, static_cast<std::uint16_t>(i * width), type),
                 nullptr));
    values->emplace_back(name, PointValue(std::uint64_t{1}));
  }
}

std::string Render(const std::vector<MemoryModule::Request>& requests) {
  std::string text;
  for (const MemoryModule::Request& request : requests) {
    if (!text.empty()) text += " | ";
    text += "fc" + std::to_string(request.functionCode) + " " +
            std::to_string(request.start) + "+" + std::to_string(request.count);
  }
  return text;
}

TEST(MapWriteTest, ValuesInAddressOrderJoinedUpToTheProtocolsMost) {
  struct Row {
    const char* what;
    DeviceMap map;
    Values values;
    std::string requests;
    std::vector<std::uint16_t> holding;  // registers 0 on, afterwards
  };
  std::vector<Row> rows;
  rows.push_back({"writes take 123 registers, not 125",
                  {},
                  {},
                  "fc16 0+123 | fc16 123+2",
                  {}});
  AddRun(&rows.back().map, &rows.back().values, "r", PointTable::kHolding, 125,
         "u16", 1);
  rows.push_back({"a value is never split at the most",
                  {},
                  {},
                  "fc16 0+122 | fc16 122+2",
                  {}});
  AddRun(&rows.back().map, &rows.back().values, "r", PointTable::kHolding, 61,
         "u32", 2);
  rows.back().map.Add(Make("last", PointTable::kHolding, 122, "u32"), nullptr);
  rows.back().values.emplace_back("last", PointValue(std::uint64_t{7}));
  rows.push_back(
      {"coils take 1968 a request", {}, {}, "fc15 0+1968 | fc15 1968+2", {}});
  AddRun(&rows.back().map, &rows.back().values, "c", PointTable::kCoil, 1970,
         "bit", 1);
  Row mixed{"in address order, by code 6, 16, 5 and 15",
            {},
            {{"far", PointValue(std::int64_t{-2})},
             {"run", PointValue(true)},
             {"pi", PointValue(3.0)},
             {"stop", PointValue(std::uint64_t{0})},
             {"low", PointValue(std::uint64_t{0x1234})},
             {"text", PointValue(std::string("ABC"))},
             {"half", PointValue(12.5)}},
            "fc15 0+2 | fc6 0+1 | fc16 2+6 | fc16 10+4 | fc6 20+1",
            {0x1234, 0, 0x4142, 0x4300, 3, 0, 0, 25, 0, 0, 0x3ff8, 0, 0, 0}};
  for (const Point& point :
       {Make("run", PointTable::kCoil, 0, "bit"),
        Make("stop", PointTable::kCoil, 1, "bit"),
        Make("low", PointTable::kHolding, 0, "u16"),
        // A text takes the byte choice only: CDAB leaves its words in order.
        Make("text", PointTable::kHolding, 2, "string:2", "CDAB"),
        Make("pi", PointTable::kHolding, 4, "u32", "CDAB"),
        Make("half", PointTable::kHolding, 6, "i32", "ABCD", 0.5),
        Make("wide", PointTable::kHolding, 10, "f64"),
        Make("far", PointTable::kHolding, 20, "i16")}) {
    ASSERT_TRUE(mixed.map.Add(point, nullptr));
  }
  mixed.values.emplace_back("wide", PointValue(1.5));
  rows.push_back(std::move(mixed));

  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    MemoryModule module;
    std::string refusal = "not cleared";
    EXPECT_EQ(tcpmodbus::WritePoints(module, row.map, row.values, &refusal), 1);
    EXPECT_EQ(refusal, "");
    EXPECT_EQ(Render(module.requests), row.requests);
    for (std::size_t i = 0; i < row.holding.size(); ++i) {
      EXPECT_EQ(module.holding[i], row.holding[i]) << "register " << i;
    }
  }
}

TEST(MapWriteTest, ARefusedValueSendsNothing) {
  DeviceMap map;
  for (const Point& point :
       {Make("level", PointTable::kInput, 0, "u16"),
        Make("set", PointTable::kHolding, 0, "u16"),
        Make("wide", PointTable::kHolding, 0, "u32"),
        Make("name", PointTable::kHolding, 4, "string:2"),
        Make("run", PointTable::kCoil, 0, "bit"),
        Make("ratio", PointTable::kHolding, 8, "i16", "ABCD", 0.001),
        Make("tiny", PointTable::kHolding, 10, "f32")}) {
    ASSERT_TRUE(map.Add(point, nullptr));
  }
  struct Row {
    Values values;
    const char* refusal;
  };
  const std::vector<Row> rows = {
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
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.refusal);
    MemoryModule module;
    std::string refusal;
    EXPECT_EQ(tcpmodbus::WritePoints(module, map, row.values, &refusal), 0);
    EXPECT_EQ(refusal, row.refusal);
    EXPECT_TRUE(module.requests.empty());
  }
}

}  // namespace
