// Several objects on several threads, each running exchanges against its own
// server at the same time. Separate objects share nothing but standard
// output; the ThreadSanitizer build runs this test to prove it.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeModbusServer.h"
#include "ReliabilitySupport.h"
#include "SkipUnlessListening.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace reliability {
namespace {

using testsupport::FakeModbusServer;
using testsupport::Step;

constexpr int kObjects = 4;
constexpr int kRounds = 100;  // each round: all four operations

// What object `object` reads in round `round`: different on every thread.
std::uint16_t ValueOf(int object, int round, int index) {
  return static_cast<std::uint16_t>(object * 10000 + round * 10 + index);
}

std::vector<Step> ScriptFor(int object) {
  std::vector<Step> script;
  for (int round = 0; round < kRounds; ++round) {
    script.push_back(Step::Receive(12));
    script.push_back(Step::Send(
        ReadAnswer(3, {ValueOf(object, round, 0), ValueOf(object, round, 1)})));
    script.push_back(Step::Receive(12));
    script.push_back(Step::Send(ReadAnswer(4, {ValueOf(object, round, 2)})));
    script.push_back(Step::Receive(12));
    script.push_back(Step::Send(WriteAnswer(6, 1, 0)));
    script.push_back(Step::Receive(17));
    script.push_back(Step::Send(WriteAnswer(16, 2, 2)));
  }
  return script;
}

// Runs the rounds on one object; returns the failures, "" when none.
std::string RunRounds(TCPModbusIntf& client, int object) {
  std::string failures;
  for (int round = 0; round < kRounds; ++round) {
    std::uint16_t holding[2] = {0, 0};
    std::uint16_t input = 0;
    unsigned short single = static_cast<unsigned short>(round);
    std::uint16_t several[2] = {1, 2};
    if (client.ReadHoldRegs(0, holding, 2) != 1 ||
        holding[0] != ValueOf(object, round, 0) ||
        holding[1] != ValueOf(object, round, 1)) {
      failures += "round " + std::to_string(round) + ": read holding\n";
    }
    if (client.ReadInputRegs(0, &input, 1) != 1 ||
        input != ValueOf(object, round, 2)) {
      failures += "round " + std::to_string(round) + ": read input\n";
    }
    if (client.WriteSingleHoldReg(1, single) != 1) {
      failures += "round " + std::to_string(round) + ": write single\n";
    }
    if (client.WriteMultiHoldRegs(2, several, 2) != 1) {
      failures += "round " + std::to_string(round) + ": write several\n";
    }
  }
  return failures;
}

TEST(ConcurrencyTest, ObjectsOnSeparateThreadsRunExchangesAtOnce) {
  std::vector<std::unique_ptr<FakeModbusServer>> servers;
  std::vector<std::unique_ptr<TCPModbusIntf>> clients;
  for (int object = 0; object < kObjects; ++object) {
    const std::string address = "127.0.12." + std::to_string(object + 1);
    servers.emplace_back(new FakeModbusServer(address, ScriptFor(object)));
    SKIP_UNLESS_LISTENING(*servers.back());
    clients.push_back(
        ConnectClient(address, static_cast<unsigned short>(object + 1)));
    ASSERT_TRUE(clients.back());
  }

  std::vector<std::string> failures(kObjects);
  std::vector<std::thread> threads;
  testing::internal::CaptureStdout();
  for (int object = 0; object < kObjects; ++object) {
    threads.emplace_back([&, object] {
      failures[object] = RunRounds(*clients[object], object);
    });
  }
  for (std::thread& thread : threads) thread.join();
  testing::internal::GetCapturedStdout();

  for (int object = 0; object < kObjects; ++object) {
    SCOPED_TRACE("object " + std::to_string(object));
    EXPECT_EQ(failures[object], "") << clients[object]->LastErrorString();
    EXPECT_STREQ(clients[object]->LastErrorString(), "");
    clients[object].reset();
    EXPECT_EQ(servers[object]->Join(), "");
  }
}

}  // namespace
}  // namespace reliability
