// Several objects on several threads at once, each against its own server:
// exchanges running side by side, and a silent server that blocks only the
// thread of its own object. Separate objects share nothing but standard
// output; the ThreadSanitizer build runs these tests (label "threads").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::FakeModbusServer;
using testsupport::ReadAnswer;
using testsupport::ScriptConnection;
using testsupport::Step;
using testsupport::WriteAnswer;

// Every fake server listens on a port of its own on this address.
constexpr char kAddress[] = "127.0.0.1";
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
  ClientHarness objects[kObjects];
  for (int object = 0; object < kObjects; ++object) {
    SERVE_OR_SKIP(objects[object],
                  {kAddress, static_cast<unsigned short>(object + 1)},
                  ScriptFor(object));
  }

  std::vector<std::string> failures(kObjects);
  std::vector<std::thread> threads;
  testing::internal::CaptureStdout();
  for (int object = 0; object < kObjects; ++object) {
    threads.emplace_back([&, object] {
      failures[object] = RunRounds(objects[object].Client(), object);
    });
  }
  for (std::thread& thread : threads) thread.join();
  testing::internal::GetCapturedStdout();

  for (int object = 0; object < kObjects; ++object) {
    SCOPED_TRACE("object " + std::to_string(object));
    EXPECT_EQ(failures[object], "") << objects[object]->LastErrorString();
    EXPECT_STREQ(objects[object]->LastErrorString(), "");
    EXPECT_EQ(FailureRecordOf(objects[object].Client()), FailureRecord{});
    EXPECT_EQ(objects[object].Finish(), "");
  }
}

TEST(ConcurrencyTest, SilentServerBlocksOnlyTheThreadOfItsOwnObject) {
  std::promise<void> requestSeen;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  FakeModbusServer::Options patient;
  patient.timeout = std::chrono::seconds(30);
  ClientHarness blocked;
  SERVE_OR_SKIP(blocked, {kAddress, 7},
                {Step::Receive(12),
                 Step::Custom("hold the answer",
                              [&](ScriptConnection&) {
                                requestSeen.set_value();
                                return released.wait_for(std::chrono::seconds(
                                           30)) == std::future_status::ready
                                           ? std::string()
                                           : std::string("never released");
                              }),
                 Step::Close()},
                patient);
  ClientHarness free;
  SERVE_OR_SKIP(free, {kAddress, 8},
                {Step::Receive(12), Step::Send(ReadAnswer(4, {99}))});

  testing::internal::CaptureStdout();
  std::atomic<bool> blockedDone{false};
  std::vector<std::uint16_t> blockedValues = {0xaaaa};
  int blockedResult = -1;
  std::thread first([&] {
    blockedResult = blocked->ReadHoldRegs(0, blockedValues.data(), 1);
    blockedDone = true;
  });
  const bool seen = requestSeen.get_future().wait_for(
                        std::chrono::seconds(10)) == std::future_status::ready;

  std::uint16_t value = 0;
  int freeResult = -1;
  std::thread second([&] { freeResult = free->ReadInputRegs(0, &value, 1); });
  second.join();
  // The first object is still waiting for its answer: only the release below
  // lets its server close.
  const bool firstStillBlocked = !blockedDone;
  release.set_value();
  first.join();
  testing::internal::GetCapturedStdout();

  EXPECT_TRUE(seen);
  EXPECT_EQ(freeResult, 1) << free->LastErrorString();
  EXPECT_EQ(value, 99);
  EXPECT_TRUE(firstStillBlocked);
  EXPECT_EQ(blockedResult, 0);
  EXPECT_STREQ(
      blocked->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");
  EXPECT_EQ(FailureRecordOf(blocked.Client()),
            FailureRecord{TCPModbusIntf::ErrorClosed});
  EXPECT_EQ(blockedValues, (std::vector<std::uint16_t>{0xaaaa}));
  EXPECT_EQ(blocked.Finish(), "");
  EXPECT_EQ(free.Finish(), "");
}

}  // namespace
