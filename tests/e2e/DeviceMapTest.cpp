// End to end, the device map's done test: sixty points of mixed types read
// twice through the library's own object from the simulated module, given
// two undeclared registers and at most 40 registers a request, as a real
// device may be.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "ServerProcess.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using tcpmodbus::ReadingStatus;
using testsupport::ServerProcess;

// A value as its registers hold it, and its text when read.
struct Vector {
  const char* type;
  const char* order;
  std::vector<std::uint16_t> registers;
  const char* text;
  double scale;  // 0: none
};

const std::vector<Vector>& Vectors() {
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
const Vector& VectorOf(std::size_t index) {
  return Vectors()[index % Vectors().size()];
}

// `count` points p0, p1, ... of the vectors in turn.
tcpmodbus::DeviceMap MixedMap(int count) {
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
std::size_t FewestRequests(const tcpmodbus::DeviceMap& map,
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

// The points that are holes in ReadTwice's map, whose first registers the
// module lacks.
const std::vector<std::size_t>& HolePoints() {
  static const std::vector<std::size_t> holes = {17, 41};
  return holes;
}

// Reads the 60 points of MixedMap(60), whose values `module` holds, twice
// with at most 40 registers a request: every value right, the hole points
// refused then skipped, no request past the map, and the second read refused
// nothing in the fewest requests the rules allow. Returns the requests sent.
std::vector<tcpmodbus::SentRequest> ReadTwice(TCPModbusIntf& module) {
  const tcpmodbus::DeviceMap map = MixedMap(60);
  std::vector<bool> isHole(60, false);
  for (const std::size_t hole : HolePoints()) isHole[hole] = true;
  const std::uint32_t end =
      map.points().back().address +
      static_cast<std::uint32_t>(VectorOf(59).registers.size());
  tcpmodbus::PlanLimits limits;
  limits.maxRegisters = 40;
  std::vector<tcpmodbus::SentRequest> sent;
  for (int cycle = 1; cycle <= 2; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    tcpmodbus::Snapshot snapshot;
    std::string error;
    EXPECT_TRUE(tcpmodbus::ReadMap(module, map, limits, &snapshot, &error))
        << error;
    for (std::size_t i = 0; i < snapshot.readings.size(); ++i) {
      const tcpmodbus::Reading& reading = snapshot.readings[i];
      SCOPED_TRACE(map.points()[i].name);
      if (isHole[i]) {
        EXPECT_EQ(reading.status, cycle == 1 ? ReadingStatus::kException
                                             : ReadingStatus::kHole);
        EXPECT_EQ(reading.exceptionCode, 2);
      } else {
        EXPECT_EQ(reading.status, ReadingStatus::kOk);
        EXPECT_EQ(tcpmodbus::ValueText(reading.value), VectorOf(i).text);
      }
    }
    for (const tcpmodbus::SentRequest& request : snapshot.requests) {
      EXPECT_LE(request.start + request.count, end);
      EXPECT_LE(request.count, 40u);
      EXPECT_TRUE(cycle == 1 || request.errorCode == 0) << request.start;
    }
    if (cycle == 2) {
      EXPECT_EQ(snapshot.requests.size(), FewestRequests(map, isHole, 40));
    }
    sent.insert(sent.end(), snapshot.requests.begin(), snapshot.requests.end());
  }
  EXPECT_EQ(tcpmodbus::LearnedOf(module).holes.size(), HolePoints().size());
  return sent;
}

TEST(DeviceMapTest, SixtyPointsTwoHolesAFortyRegisterLimitAndTheNextCycle) {
  const char kAddress[] = "127.0.51.20";
  const tcpmodbus::DeviceMap map = MixedMap(60);
  std::vector<bool> isHole(60, false);
  std::string undeclared;
  for (const std::size_t hole : HolePoints()) {
    isHole[hole] = true;
    const std::string address = std::to_string(map.points()[hole].address);
    undeclared += (undeclared.empty() ? "holding:" : ",holding:") + address;
  }
  ServerProcess sim;
  START_SERVER_OR_SKIP(sim, kAddress,
                       {TCPMODBUS_SIM_PATH, "--address", kAddress,
                        "--undeclared", undeclared, "--max-registers", "40"});
  testsupport::ClientHarness client;
  ASSERT_EQ(client.Initialize({kAddress, 1, 502}), 1)
      << client->LastErrorString();
  client->SetTraceSink(nullptr, nullptr);
  TCPModbusIntf& module = client.Client();
  // Each value's registers written as its vector has them, so that the read
  // decodes them against the vectors, not against the map's own writes.
  for (std::size_t i = 0; i < 60; ++i) {
    std::vector<std::uint16_t> registers = VectorOf(i).registers;
    ASSERT_EQ(
        isHole[i] || module.WriteMultiHoldRegs(
                         map.points()[i].address, registers.data(),
                         static_cast<unsigned short>(registers.size())) == 1,
        true)
        << module.LastErrorString();
  }
  const std::vector<tcpmodbus::SentRequest> sent = ReadTwice(module);
  // The module saw as many reads as the snapshots list: none of its own.
  client.Finish();
  EXPECT_EQ(sim.Stop(), 0);
  const std::string log = sim.Log();
  std::size_t reads = 0;
  for (std::size_t at = log.find(" fc=3 "); at != std::string::npos;
       at = log.find(" fc=3 ", at + 1)) {
    ++reads;
  }
  EXPECT_EQ(reads, sent.size());
}

}  // namespace
