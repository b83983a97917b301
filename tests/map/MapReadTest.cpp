// Reading a map from a module held in memory: values decoded, holes found
// by splitting refused requests and skipped from then on, limits learned,
// and what a failure that loses the connection leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MemoryModule.h"
#include "MixedMap.h"
#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::DeviceMap;
using tcpmodbus::Learned;
using tcpmodbus::PlanLimits;
using tcpmodbus::Point;
using tcpmodbus::PointTable;
using tcpmodbus::ReadingStatus;
using tcpmodbus::Snapshot;
using testsupport::MemoryModule;

// A mixed map of `count` points, their registers in `module`.
DeviceMap MixedMap(int count, MemoryModule* module) {
  DeviceMap map = testsupport::MixedMap(count);
  for (std::size_t i = 0; i < map.points().size(); ++i) {
    const std::vector<std::uint16_t>& registers =
        testsupport::VectorOf(i).registers;
    std::copy(registers.begin(), registers.end(),
              module->holding.begin() + map.points()[i].address);
  }
  return map;
}

TEST(MapReadTest, SixtyMixedPointsWithTwoHolesAndAFortyRegisterDevice) {
  MemoryModule module;
  module.maxRegisters = 40;
  const DeviceMap map = MixedMap(60, &module);
  const std::vector<std::size_t> holes = {17, 41};
  std::vector<bool> isHole(60, false);
  for (const std::size_t hole : holes) {
    isHole[hole] = true;
    module.missing.insert(
        {PointTable::kHolding, map.points()[hole].address + 0u});
  }
  PlanLimits limits;
  limits.maxRegisters = 40;
  Learned learned;
  for (int cycle = 1; cycle <= 2; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    module.requests.clear();
    Snapshot snapshot;
    std::string error;
    ASSERT_TRUE(
        tcpmodbus::ReadMap(module, map, limits, &learned, &snapshot, &error))
        << error;
    for (std::size_t i = 0; i < 60; ++i) {
      const tcpmodbus::Reading& reading = snapshot.readings[i];
      SCOPED_TRACE(map.points()[i].name);
      if (isHole[i]) {
        EXPECT_EQ(reading.status, cycle == 1 ? ReadingStatus::kException
                                             : ReadingStatus::kHole);
        EXPECT_EQ(reading.exceptionCode, 2);
        continue;
      }
      EXPECT_EQ(reading.status, ReadingStatus::kOk);
      EXPECT_EQ(tcpmodbus::ValueText(reading.value),
                testsupport::VectorOf(i).text);
      ASSERT_GE(reading.request, 1u);
      EXPECT_EQ(snapshot.requests[reading.request - 1].errorCode, 0);
    }
    // Every request reads declared registers only; none past the device's
    // limit.
    const std::uint16_t end =
        map.points().back().address +
        static_cast<std::uint16_t>(testsupport::VectorOf(59).registers.size());
    for (const MemoryModule::Request& request : module.requests) {
      EXPECT_LE(request.start + request.count, end);
      EXPECT_LE(request.count, 40u);
    }
    EXPECT_EQ(snapshot.requests.size(), module.requests.size());
  }
  // The second cycle: nothing refused, in the fewest requests the rules
  // allow with the holes known.
  for (const MemoryModule::Request& request : module.requests) {
    EXPECT_EQ(request.exceptionCode, 0)
        << request.start << "+" << request.count;
  }
  EXPECT_EQ(module.requests.size(),
            testsupport::FewestRequests(map, isHole, 40));
  ASSERT_EQ(learned.holes.size(), 2u);
  for (std::size_t i = 0; i < holes.size(); ++i) {
    EXPECT_EQ(learned.holes[i].start, map.points()[holes[i]].address);
  }
}

TEST(MapReadTest, RefusalsAreLearnedSoThatTheNextCycleSendsNoneRefused) {
  struct Row {
    const char* what;
    std::vector<Point> points;
    std::vector<std::uint32_t> missing;
    unsigned deviceLimit;
    unsigned maxGap;
    std::vector<ReadingStatus> first;  // each point's status, cycle 1
    std::string learned;
  };
  auto u16 = [](const char* name, std::uint16_t address, const char* type) {
    Point point;
    point.name = name;
    point.address = address;
    point.type = type;
    return point;
  };
  const ReadingStatus ok = ReadingStatus::kOk;
  const ReadingStatus refused = ReadingStatus::kException;
  const std::vector<Row> rows = {
      {"a device limit below the plan's: learned from exception 3",
       {u16("a", 0, "string:30"), u16("b", 30, "string:30"),
        u16("c", 60, "string:30")},
       {},
       40,
       0,
       {ok, ok, ok},
       "limit 30"},
      {"a gap the device lacks, spanned by max_gap: learned as a hole",
       {u16("a", 0, "u16"), u16("b", 2, "u16")},
       {1},
       125,
       1,
       {ok, ok},
       "hole 1+1"},
      {"a wide point refused where a narrow one inside it is answered",
       {u16("wide", 10, "u32"), u16("inside", 11, "u16")},
       {10},
       125,
       0,
       {refused, ok},
       "hole 10+1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    MemoryModule module;
    module.maxRegisters = row.deviceLimit;
    for (const std::uint32_t address : row.missing) {
      module.missing.insert({PointTable::kHolding, address});
    }
    DeviceMap map;
    for (const Point& point : row.points) ASSERT_TRUE(map.Add(point, nullptr));
    PlanLimits limits;
    limits.maxGap = row.maxGap;
    Learned learned;
    Snapshot snapshot;
    ASSERT_TRUE(
        tcpmodbus::ReadMap(module, map, limits, &learned, &snapshot, nullptr));
    for (std::size_t i = 0; i < row.first.size(); ++i) {
      EXPECT_EQ(snapshot.readings[i].status, row.first[i]) << i;
    }
    std::string text;
    for (const tcpmodbus::Hole& hole : learned.holes) {
      text += "hole " + std::to_string(hole.start) + "+" +
              std::to_string(hole.count);
    }
    for (const tcpmodbus::LearnedLimit& limit : learned.limits) {
      text += "limit " + std::to_string(limit.count);
    }
    EXPECT_EQ(text, row.learned);
    module.requests.clear();
    ASSERT_TRUE(
        tcpmodbus::ReadMap(module, map, limits, &learned, &snapshot, nullptr));
    for (const MemoryModule::Request& request : module.requests) {
      EXPECT_EQ(request.exceptionCode, 0)
          << request.start << "+" << request.count;
    }
  }
}

TEST(MapReadTest, AFailureThatLosesTheConnectionEndsTheRead) {
  struct Row {
    const char* what;
    std::size_t failFrom;
    int failCode;
    int exceptionCode;
    std::size_t sent;
    std::vector<ReadingStatus> statuses;  // of the three requests' points
  };
  const ReadingStatus ok = ReadingStatus::kOk;
  const std::vector<Row> rows = {
      {"a time-out",
       2,
       TCPModbusIntf::ErrorTimeout,
       0,
       2,
       {ok, ReadingStatus::kTimeout, ReadingStatus::kNotRead}},
      {"a closed connection",
       1,
       TCPModbusIntf::ErrorClosed,
       0,
       1,
       {ReadingStatus::kFailed, ReadingStatus::kNotRead,
        ReadingStatus::kNotRead}},
      {"not connected",
       3,
       TCPModbusIntf::ErrorNotConnected,
       0,
       3,
       {ok, ok, ReadingStatus::kFailed}},
      {"a wrong answer keeps the connection",
       2,
       TCPModbusIntf::ErrorWrongAnswer,
       0,
       3,
       {ok, ReadingStatus::kFailed, ReadingStatus::kFailed}},
      {"exception 4 is not split",
       0,
       0,
       4,
       3,
       {ReadingStatus::kException, ReadingStatus::kException,
        ReadingStatus::kException}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    MemoryModule module;
    module.failFrom = row.failFrom;
    module.failCode = row.failCode;
    module.exceptionCode = row.exceptionCode;
    DeviceMap map;
    for (const char* name : {"a", "b", "c"}) {
      Point point;
      point.name = name;
      point.address = static_cast<std::uint16_t>(2 * map.points().size());
      ASSERT_TRUE(map.Add(point, nullptr));
    }
    Learned learned;
    Snapshot snapshot;
    ASSERT_TRUE(
        tcpmodbus::ReadMap(module, map, {}, &learned, &snapshot, nullptr));
    EXPECT_EQ(module.requests.size(), row.sent);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(snapshot.readings[i].status, row.statuses[i]) << i;
      EXPECT_EQ(snapshot.readings[i].exceptionCode,
                row.statuses[i] == ReadingStatus::kException ? 4 : 0);
    }
    EXPECT_TRUE(learned.holes.empty());
    EXPECT_TRUE(learned.limits.empty());
  }
}

}  // namespace
