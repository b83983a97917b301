// A device map of points of every type in turn, one after another from
// holding register 0 on, each with the registers that hold a known value and
// that value's text; and the fewest requests that read such a map, by a
// method of its own, for the device map's tests.
#ifndef TCPMODBUS_TESTS_SUPPORT_MIXEDMAP_H_
#define TCPMODBUS_TESTS_SUPPORT_MIXEDMAP_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tcpmodbus/DeviceMap.h"

namespace testsupport {

// A value as its registers hold it, and its text when read.
struct Vector {
  const char* type;
  const char* order;
  std::vector<std::uint16_t> registers;
  const char* text;
  double scale;  // 0: none
};

inline const std::vector<Vector>& Vectors() {
  static const std::vector<Vector> vectors = {
      {"u16", "ABCD", {0x1234}, "4660", 0},
      {"i16", "ABCD", {0xfffe}, "-2", 0},
      {"u32", "CDAB", {0x5678, 0x1234}, "305419896", 0},
      {"i32", "ABCD", {0xffff, 0xfffd}, "-3", 0},
      {"f32", "ABCD", {0x47f1, 0x2000}, "123456", 0},
      {"f32", "BADC", {0xf147, 0x0020}, "123456", 0},
      {"u64", "ABCDEFGH", {1, 2, 3, 4}, "281483566841860", 0},
      {"f64", "HGFEDCBA", {0, 0, 0, 0xf83f}, "1.5", 0},
      {"string:3", "BADC", {0x6548, 0x6c6c, 0x006f}, "Hello", 0},
      {"u16", "ABCD", {100}, "50", 0.5},
  };
  return vectors;
}

// The vector of point `index` of a mixed map.
inline const Vector& VectorOf(std::size_t index) {
  return Vectors()[index % Vectors().size()];
}

// `count` points p0, p1, ... of the vectors in turn.
inline tcpmodbus::DeviceMap MixedMap(int count) {
  tcpmodbus::DeviceMap map;
  std::uint16_t address = 0;
  for (int i = 0; i < count; ++i) {
    const Vector& vector = VectorOf(static_cast<std::size_t>(i));
    tcpmodbus::Point point;
    point.name = "p" + std::to_string(i);
    point.address = address;
    point.type = vector.type;
    point.order = vector.order;
    if (vector.scale != 0) point.scale = vector.scale;
    EXPECT_TRUE(map.Add(point, nullptr));
    address = static_cast<std::uint16_t>(address + vector.registers.size());
  }
  return map;
}

// The fewest requests of at most `limit` registers that read the points of
// a mixed map not skipped, without reading an address no such point takes:
// by dynamic programming over the points in address order (they do not
// overlap, so a request reads a run of them).
inline std::size_t FewestRequests(const tcpmodbus::DeviceMap& map,
                                  const std::vector<bool>& skipped,
                                  std::uint32_t limit) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
  for (std::size_t i = 0; i < map.points().size(); ++i) {
    if (skipped[i]) continue;
    const std::uint32_t start = map.points()[i].address;
    spans.emplace_back(start, start + VectorOf(i).registers.size() - 1);
  }
  std::vector<std::size_t> fewest(spans.size() + 1, spans.size() + 1);
  fewest[0] = 0;
  for (std::size_t end = 1; end <= spans.size(); ++end) {
    for (std::size_t first = end; first-- > 0;) {
      if (first + 1 < end &&
          spans[first].second + 1 != spans[first + 1].first) {
        break;
      }
      if (spans[end - 1].second - spans[first].first + 1 > limit) break;
      fewest[end] = std::min(fewest[end], fewest[first] + 1);
    }
  }
  return fewest[spans.size()];
}

}  // namespace testsupport

#endif  // TCPMODBUS_TESTS_SUPPORT_MIXEDMAP_H_
