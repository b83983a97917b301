// Map files: what the one CSV reader takes, and each refusal naming its
// line and column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::DeviceMap;
using tcpmodbus::Point;

constexpr char kHeader[] = "name,table,address,type,order,scale,unit\n";

TEST(MapFileTest, ReadsPointsWithTheDefaultsOfEmptyFields) {
  const std::string text = std::string("\xEF\xBB\xBF") + kHeader +
                           "# a comment, then a blank line\r\n"
                           "\r\n"
                           "run, coil ,0x10,,,,\r\n"
                           "level,input,3,,,,\n"
                           "flow,holding,100,f32,CDAB,0.5,m3/h\n"
                           "serial,holding,0,string:4,BADC\n"
                           "total,input,8,u64,HGFEDCBA,,kWh\n";
  DeviceMap map;
  std::string error;
  ASSERT_TRUE(tcpmodbus::ParseMap(text, "plant.csv", &map, &error)) << error;
  // Each point as name, table, address, type, order, scale and unit.
  std::string read;
  for (const Point& point : map.points()) {
    read += point.name + " " + tcpmodbus::TableName(point.table) + " " +
            std::to_string(point.address) + " " + point.type + " " +
            point.order + " " + std::to_string(point.scale.value_or(0)) + " " +
            point.unit + "|";
    EXPECT_EQ(map.Find(point.name),
              static_cast<std::size_t>(&point - map.points().data()));
  }
  EXPECT_EQ(read,
            "run coil 16 bit ABCD 0.000000 |level input 3 u16 ABCD 0.000000 |"
            "flow holding 100 f32 CDAB 0.500000 m3/h|"
            "serial holding 0 string:4 BADC 0.000000 |"
            "total input 8 u64 HGFEDCBA 0.000000 kWh|");
}

TEST(MapFileTest, ARefusalNamesTheLineAndTheColumnAndAddsNothing) {
  struct Row {
    std::string lines;  // after the header
    const char* error;
  };
  const std::vector<Row> rows = {
      {"",
       "m.csv:1:1: the first line is not the header name,table,address,type,order,scale,unit"},
      {",holding,0\n", "m.csv:2:1: a point needs a name"},
      {"a=b,holding,0\n",
       "m.csv:2:1: point 'a=b': a name holds no comma, equals sign or control character"},
      {"t,holdin,0\n",
       "m.csv:2:3: table 'holdin' is not one of coil, discrete, holding, input"},
      {"t,holding, 65536\n",
       "m.csv:2:12: address '65536' is not a number from 0 to 65535"},
      {"t,holding,0x1G\n",
       "m.csv:2:11: address '0x1G' is not a number from 0 to 65535"},
      {"t,holding,\n",
       "m.csv:2:11: address '' is not a number from 0 to 65535"},
      {"t,holding,0,f33\n",
       "m.csv:2:13: point 't': type 'f33' is not one of bit, u16, i16, u32, i32, u64, i64, f32, f64, string:N (N 1 to 125)"},
      {"t,coil,0,u16\n",
       "m.csv:2:10: point 't': a coil holds a bit; its type is bit, not 'u16'"},
      {"t,input,0,bit\n",
       "m.csv:2:11: point 't': input registers hold numbers and texts, not bits"},
      {"t,holding,0,u32,ABDC\n",
       "m.csv:2:17: point 't': order 'ABDC' is not one of ABCD, CDAB, BADC, DCBA (for 64-bit types also ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA)"},
      {"t,holding,0,u32,ABCDEFGH\n",
       "m.csv:2:17: point 't': order 'ABCDEFGH' is not one of ABCD, CDAB, BADC, DCBA (for 64-bit types also ABCDEFGH, GHEFCDAB, BADCFEHG, HGFEDCBA)"},
      {"t,holding,0,u16,,x\n", "m.csv:2:18: scale 'x' is not a number"},
      {"t,holding,0,u16,,0\n",
       "m.csv:2:18: point 't': scale 0 is not a finite number other than 0"},
      {"t,holding,0,string:2,,2\n",
       "m.csv:2:23: point 't': a scale goes with numbers, not with string:2"},
      {"t,holding,65533,u64\n",
       "m.csv:2:11: point 't': u64 from address 65533 goes past address 65535"},
      {"a,holding,0\nb,holding,1\na,input,2\n",
       "m.csv:4:1: point 'a': the map has a point of that name already"},
      {"t,holding,0,u16,ABCD,,V,extra\n",
       "m.csv:2:25: a line holds 7 fields (name,table,address,type,order,scale,unit), not 8"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lines);
    DeviceMap map;
    Point kept;
    kept.name = "kept";
    ASSERT_TRUE(map.Add(kept, nullptr));
    std::string error;
    const std::string text = row.lines.empty() ? "" : kHeader + row.lines;
    EXPECT_FALSE(tcpmodbus::ParseMap(text, "m.csv", &map, &error));
    EXPECT_EQ(error, row.error);
    EXPECT_EQ(map.points().size(), 1u);
  }
}

TEST(MapFileTest, AFileThatCannotBeReadIsNamed) {
  for (const std::string& path :
       {std::string("/nonexistent/map.csv"), testing::TempDir()}) {
    SCOPED_TRACE(path);
    DeviceMap map;
    std::string error;
    EXPECT_FALSE(tcpmodbus::LoadMap(path, &map, &error));
    EXPECT_EQ(error, path + ": cannot read the file");
  }
}

}  // namespace
