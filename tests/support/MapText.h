// Points written short, for the device map's tables:
// "run@c5:bit level@h10:u16 flow@i0:f32:CDAB ratio@h8:i16:ABCD:0.5" is the
// coil run at 5, the holding register level at 10, the input registers flow
// at 0 in CDAB, and ratio with a scale of 0.5 (c coil, d discrete, h
// holding, i input; the type u16 unless given).
#ifndef TCPMODBUS_TESTS_SUPPORT_MAPTEXT_H_
#define TCPMODBUS_TESTS_SUPPORT_MAPTEXT_H_

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace testsupport {

inline std::vector<tcpmodbus::Point> Points(const std::string& text) {
  std::vector<tcpmodbus::Point> points;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    tcpmodbus::Point point;
    const std::size_t at = word.find('@');
    point.name = word.substr(0, at);
    const char table = word[at + 1];
    point.table = table == 'c'   ? tcpmodbus::PointTable::kCoil
                  : table == 'd' ? tcpmodbus::PointTable::kDiscrete
                  : table == 'i' ? tcpmodbus::PointTable::kInput
                                 : tcpmodbus::PointTable::kHolding;
    std::istringstream fields(word.substr(at + 2));
    std::string field;
    std::getline(fields, field, ':');
    point.address = static_cast<std::uint16_t>(std::stoul(field));
    if (std::getline(fields, field, ':')) point.type = field;
    // string:N holds a colon of its own.
    if (point.type == "string" && std::getline(fields, field, ':')) {
      point.type += ":" + field;
    }
    if (std::getline(fields, field, ':')) point.order = field;
    if (std::getline(fields, field, ':')) point.scale = std::stod(field);
    points.push_back(point);
  }
  return points;
}

inline tcpmodbus::DeviceMap MapOf(const std::vector<tcpmodbus::Point>& points) {
  tcpmodbus::DeviceMap map;
  for (const tcpmodbus::Point& point : points) {
    std::string error;
    EXPECT_TRUE(map.Add(point, &error)) << error;
  }
  return map;
}

inline tcpmodbus::DeviceMap MapOf(const std::string& text) {
  return MapOf(Points(text));
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_MAPTEXT_H_
