// Reading a map from a module held in memory: holes found by splitting
// refused requests and skipped from then on, limits learned, and what a
// failure that loses the connection leaves. Sixty points with two holes and
// a limit: tests/e2e/DeviceMapTest.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "MapText.h"
#include "MemoryModule.h"
#include "tcpmodbus/DeviceMap.h"

namespace {

using tcpmodbus::DeviceMap;
using tcpmodbus::Learned;
using tcpmodbus::PlanLimits;
using tcpmodbus::PointTable;
using tcpmodbus::Snapshot;
using testsupport::MemoryModule;

// "ok,exception 2,not read": each reading's status, and its exception code
// when it has one.
std::string Statuses(const Snapshot& snapshot) {
  std::string text;
  for (const tcpmodbus::Reading& reading : snapshot.readings) {
    text += std::string(text.empty() ? "" : ",") +
            tcpmodbus::ReadingStatusName(reading.status);
    if (reading.exceptionCode != 0) {
      text += " " + std::to_string(reading.exceptionCode);
    }
  }
  return text;
}

TEST(MapReadTest, RefusalsAreLearnedSoThatTheNextCycleSendsNoneRefused) {
  struct Row {
    const char* what;
    const char* points;
    std::vector<int> missing;  // holding registers the module lacks
    unsigned deviceLimit, maxGap;
    const char* first;  // the statuses of the first read
    const char* learned;
  };
  const std::vector<Row> rows = {
      {"a device limit below the plan's: learned from exception 3",
       "a@h0:string:30 b@h30:string:30 c@h60:string:30",
       {},
       40,
       0,
       "ok,ok,ok",
       "limit 30"},
      {"a gap the device lacks, spanned by max_gap: learned as a hole",
       "a@h0 b@h2",
       {1},
       125,
       1,
       "ok,ok",
       "hole 1+1"},
      {"a wide point refused where a narrow one inside it is answered",
       "wide@h10:u32 inside@h11",
       {10},
       125,
       0,
       "exception 2,ok",
       "hole 10+1"},
      {"a size refusal hides a gap the device lacks, which the lowered limit "
       "still spans",
       "a@h29:u32 b@h33:u32 c@h38:u32",
       {31},
       8,
       3,
       "ok,ok,ok",
       "hole 31+2limit 7"},
      {"a hole found in one half leaves the gap beside it untried",
       "a@h2:u32 b@h6 c@h7:f64",
       {5, 10},
       125,
       3,
       "ok,ok,exception 2",
       "hole 7+4hole 4+2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    MemoryModule module;
    module.maxRegisters = row.deviceLimit;
    for (const int missing : row.missing) {
      module.missing.insert(
          {PointTable::kHolding, static_cast<std::uint32_t>(missing)});
    }
    const DeviceMap map = testsupport::MapOf(row.points);
    PlanLimits limits;
    limits.maxGap = row.maxGap;
    Learned learned;
    Snapshot snapshot;
    ASSERT_TRUE(
        tcpmodbus::ReadMap(module, map, limits, &learned, &snapshot, nullptr));
    EXPECT_EQ(Statuses(snapshot), row.first);
    for (const tcpmodbus::Reading& reading : snapshot.readings) {
      // Its own answer's time: after its request, before the next one.
      const auto at = [](const auto& time) {
        return time.time_since_epoch().count();
      };
      ASSERT_GE(reading.request, 1u);
      EXPECT_GE(at(reading.time),
                at(module.requests[reading.request - 1].time));
      if (reading.request < module.requests.size()) {
        EXPECT_LE(at(reading.time), at(module.requests[reading.request].time));
      }
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
      EXPECT_EQ(request.exceptionCode, 0) << request.start;
    }
  }
}

TEST(MapReadTest, AFailureThatLosesTheConnectionEndsTheRead) {
  struct Row {
    const char* what;
    std::size_t failFrom;  // the first request that fails
    int failCode, exceptionCode;
    std::size_t sent;
    const char* statuses;  // of the three requests' points
  };
  const std::vector<Row> rows = {
      {"a time-out", 2, TCPModbusIntf::ErrorTimeout, 0, 2,
       "ok,timeout,not read"},
      {"a closed connection", 1, TCPModbusIntf::ErrorClosed, 0, 1,
       "failed,not read,not read"},
      // The object sent nothing for it: not read.
      {"not connected", 3, TCPModbusIntf::ErrorNotConnected, 0, 3,
       "ok,ok,not read"},
      {"a wrong answer keeps the connection", 2,
       TCPModbusIntf::ErrorWrongAnswer, 0, 3, "ok,failed,failed"},
      {"exception 4 is not split", 0, 0, 4, 3,
       "exception 4,exception 4,exception 4"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    MemoryModule module;
    module.failFrom = row.failFrom;
    module.failCode = row.failCode;
    module.exceptionCode = row.exceptionCode;
    Learned learned;
    Snapshot snapshot;
    ASSERT_TRUE(tcpmodbus::ReadMap(module, testsupport::MapOf("a@h0 b@h2 c@h4"),
                                   {}, &learned, &snapshot, nullptr));
    EXPECT_EQ(module.requests.size(), row.sent);
    EXPECT_EQ(Statuses(snapshot), row.statuses);
    EXPECT_TRUE(learned.holes.empty() && learned.limits.empty());
  }
}

}  // namespace
