// End to end: a device map read through the library's own object from the
// simulated module, given two undeclared registers and at most 40 registers
// a request, as a real device may be.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "MixedMap.h"
#include "ServerProcess.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using tcpmodbus::ReadingStatus;
using testsupport::ServerProcess;

// The reads the module logged ("... fc=3 addr=A count=C"), as address
// ranges.
std::vector<std::pair<int, int>> ReadsLogged(const std::string& log) {
  std::vector<std::pair<int, int>> reads;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    int address = 0;
    int count = 0;
    const std::size_t read = line.find("fc=3 addr=");
    if (read != std::string::npos &&
        std::sscanf(line.c_str() + read, "fc=3 addr=%d count=%d", &address,
                    &count) == 2) {
      reads.emplace_back(address, address + count - 1);
    }
  }
  return reads;
}

TEST(DeviceMapTest, SixtyPointsTwoHolesAFortyRegisterLimitAndTheNextCycle) {
  const char kAddress[] = "127.0.51.20";
  const tcpmodbus::DeviceMap map = testsupport::MixedMap(60);
  const std::vector<std::size_t> holes = {17, 41};
  std::vector<bool> isHole(60, false);
  std::string undeclared;
  for (const std::size_t hole : holes) {
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
  // Each value written alone, from its vector's text.
  for (std::size_t i = 0; i < 60; ++i) {
    if (isHole[i]) continue;
    const tcpmodbus::Point& point = map.points()[i];
    tcpmodbus::PointValue value;
    ASSERT_TRUE(tcpmodbus::ParseValue(point, testsupport::VectorOf(i).text,
                                      &value, nullptr));
    ASSERT_EQ(
        tcpmodbus::WritePoints(module, map, {{point.name, value}}, nullptr), 1)
        << point.name << ": " << module.LastErrorString();
  }
  tcpmodbus::PlanLimits limits;
  limits.maxRegisters = 40;
  std::vector<tcpmodbus::SentRequest> second;
  for (int cycle = 1; cycle <= 2; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    tcpmodbus::Snapshot snapshot;
    std::string error;
    ASSERT_TRUE(tcpmodbus::ReadMap(module, map, limits, &snapshot, &error))
        << error;
    for (std::size_t i = 0; i < 60; ++i) {
      const tcpmodbus::Reading& reading = snapshot.readings[i];
      SCOPED_TRACE(map.points()[i].name);
      if (isHole[i]) {
        EXPECT_EQ(reading.status, cycle == 1 ? ReadingStatus::kException
                                             : ReadingStatus::kHole);
        EXPECT_EQ(reading.exceptionCode, 2);
      } else {
        EXPECT_EQ(reading.status, ReadingStatus::kOk);
        EXPECT_EQ(tcpmodbus::ValueText(reading.value),
                  testsupport::VectorOf(i).text);
      }
    }
    second = snapshot.requests;
  }
  // The object learned the two holes; its second cycle was refused nothing,
  // in the fewest requests the rules allow.
  const tcpmodbus::Learned learned = tcpmodbus::LearnedOf(module);
  ASSERT_EQ(learned.holes.size(), 2u);
  for (const tcpmodbus::SentRequest& request : second) {
    EXPECT_EQ(request.errorCode, 0) << request.start << "+" << request.count;
  }
  EXPECT_EQ(second.size(), testsupport::FewestRequests(map, isHole, 40));
  // No read of either cycle went past the map's last register.
  client.Finish();
  EXPECT_EQ(sim.Stop(), 0);
  const std::vector<std::pair<int, int>> reads = ReadsLogged(sim.Log());
  EXPECT_FALSE(reads.empty());
  const int last =
      map.points().back().address +
      static_cast<int>(testsupport::VectorOf(59).registers.size()) - 1;
  for (const auto& [first, end] : reads) EXPECT_LE(end, last) << first;
}

}  // namespace
