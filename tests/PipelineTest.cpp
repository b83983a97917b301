// Batches of reads with several requests in flight, against modules that
// queue, reorder, drop, close and echo one fixed identifier: every read gets
// its own request's values or fails, and the object steps down to one
// request at a time when the module cannot take several.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "tcpmodbus/TCPModbusIntf.h"
#include "tcpmodbus/tcpmodbus.h"

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::ReadAnswer;
using testsupport::ScriptConnection;
using testsupport::Step;

constexpr int kReads = 8;

// What the module answers to the read of 2 registers at `address`: values
// of its own, so that an answer delivered to another read shows.
std::vector<std::uint16_t> ValuesAt(std::uint16_t address) {
  return {static_cast<std::uint16_t>(address * 3 + 1),
          static_cast<std::uint16_t>(address * 3 + 2)};
}

// The answer to `request`, with its transaction identifier, or `id` when
// not 0 (a device that echoes a fixed one).
Bytes AnswerTo(const Bytes& request, std::uint16_t id = 0) {
  Bytes answer =
      ReadAnswer(3, ValuesAt(static_cast<std::uint16_t>(
                        (request[8] << 8) | request[9])));
  answer[0] = id != 0 ? static_cast<std::uint8_t>(id >> 8) : request[0];
  answer[1] = id != 0 ? static_cast<std::uint8_t>(id & 0xff) : request[1];
  return answer;
}

// A module that takes `count` requests, then answers those `answered`
// names, in that order (indices into the requests), with `id` as AnswerTo
// gives it; the first answer `shortBy` bytes shorter than its byte count
// says, in one piece with the second.
Step Takes(int count, std::vector<int> answered, std::uint16_t id = 0,
           std::size_t shortBy = 0) {
  return Step::Custom(
      "take " + std::to_string(count), [=](ScriptConnection& connection) {
        std::vector<Bytes> requests(static_cast<std::size_t>(count));
        for (Bytes& request : requests) {
          const std::string error = connection.ReceiveExactly(12, &request);
          if (!error.empty()) return error;
          connection.RecordRequest(request);
        }
        for (std::size_t i = 0; i < answered.size(); ++i) {
          Bytes answer =
              AnswerTo(requests[static_cast<std::size_t>(answered[i])], id);
          if (i == 0 && shortBy > 0) {
            answer.resize(answer.size() - shortBy);
            const Bytes next =
                AnswerTo(requests[static_cast<std::size_t>(answered[++i])], id);
            answer.insert(answer.end(), next.begin(), next.end());
          }
          const std::string error = connection.SendAll(answer);
          if (!error.empty()) return error;
        }
        return std::string();
      });
}

// One request at a time from then on, `count` of them.
std::vector<Step> OneAtATime(int count) {
  std::vector<Step> steps;
  for (int i = 0; i < count; ++i) steps.push_back(Takes(1, {0}));
  return steps;
}

std::vector<Step> Then(std::vector<Step> steps, std::vector<Step> more) {
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}

TEST(PipelineTest, EveryReadGetsItsOwnRequestsValues) {
  const std::vector<int> inOrder = {0, 1, 2, 3, 4, 5, 6, 7};
  struct Row {
    const char* what;
    std::vector<Step> script;
    bool ids = true;
    bool recovery = false;
    int result = 1;
    unsigned stepDowns = 0;
    // The reads that get their values; the others fail with `code`.
    std::vector<bool> read = std::vector<bool>(kReads, true);
    int code = TCPMODBUS_ERROR_NONE;
    std::string text = "";
  };
  const std::vector<Row> rows = {
      {"a module that queues what comes while it is busy",
       {Takes(kReads, inOrder)}},
      {"a gateway that answers in another order",
       {Takes(kReads, {7, 3, 5, 1, 0, 2, 6, 4})}},
      {"a module that drops what comes while it is busy: one at a time",
       Then({Takes(kReads, {0})}, OneAtATime(kReads - 1)),
       true,
       false,
       1,
       1,
       std::vector<bool>(kReads, true),
       TCPMODBUS_ERROR_TIMEOUT,
       "CMBusTCP::MbReadHoldingRegs: DIO Module 1 left a request unanswered while it answered others; one request in flight from now on"},
      {"a module that closes with requests in flight, recovery on",
       Then({Takes(kReads, {0, 1}), Step::Close(), Step::Accept()},
            OneAtATime(kReads - 2)),
       true,
       true,
       1,
       1},
      // One answer: the object resets the connection at the first.
      {"a device that echoes one fixed identifier",
       {Takes(kReads, {0}, 0x7777), Step::WaitForClientClose()},
       true,
       false,
       0,
       0,
       std::vector<bool>(kReads, false),
       TCPMODBUS_ERROR_WRONG_ANSWER,
       "CMBusTCP::MbReadHoldingRegs: Answer from DIO Module 1 carries transaction identifier 30583, expected 1; a device that does not echo transaction identifiers needs them off"},
      // Its frame would take the next answer's identifier as a value.
      {"an answer shorter than its byte count says, the next behind it",
       {Takes(kReads, {0, 1}, 0, 4), Step::WaitForClientClose()},
       true,
       false,
       0,
       0,
       std::vector<bool>(kReads, false),
       TCPMODBUS_ERROR_WRONG_ANSWER,
       "CMBusTCP::MbReadHoldingRegs: Bytes from DIO Module 1 do not frame as a Modbus answer; the connection was closed"},
      {"identifiers off: refused, nothing sent",
       {Step::WaitForClientClose()},
       false,
       false,
       0,
       0,
       std::vector<bool>(kReads, false),
       TCPMODBUS_ERROR_INVALID_ARGUMENT,
       "CTCPModbus::ReadBatch: 8 requests in flight need transaction identifiers (SetTransactionIds(true)), which alone tell their answers apart; nothing was sent"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ClientHarness harness;
    ASSERT_TRUE(harness.Listen({"127.0.0.1"}, row.script))
        << harness.SkipReason();
    harness->SetTransactionIds(row.ids);
    harness->SetRecovery(row.recovery);
    harness->SetResponseTimeout(2000);
    ASSERT_EQ(harness->SetMaxInFlight(kReads), 1);
    ASSERT_EQ(harness.Initialize({"127.0.0.1"}), 1);

    std::uint16_t values[kReads][2] = {};
    tcpmodbus_read reads[kReads];
    for (int i = 0; i < kReads; ++i) {
      reads[i] = {TCPMODBUS_TABLE_HOLDING,
                  static_cast<unsigned short>(10 * i),
                  2,
                  values[i],
                  nullptr,
                  -1,
                  -1,
                  -1};
    }
    EXPECT_EQ(harness.Run([&](TCPModbusIntf& module) {
      return module.ReadBatch(reads, kReads);
    }),
              row.result)
        << harness->LastFailureText();
    for (int i = 0; i < kReads; ++i) {
      SCOPED_TRACE("read " + std::to_string(i));
      const auto own = ValuesAt(static_cast<std::uint16_t>(10 * i));
      EXPECT_EQ(reads[i].result, row.read[i] ? 1 : 0);
      EXPECT_EQ(reads[i].error_code, row.read[i] ? 0 : row.code);
      EXPECT_EQ(std::vector<std::uint16_t>(values[i], values[i] + 2),
                row.read[i] ? own : std::vector<std::uint16_t>(2, 0));
    }
    EXPECT_EQ(harness->StepDowns(), row.stepDowns);
    if (!row.text.empty()) {
      EXPECT_EQ(harness->LastFailureText(), row.text);
      if (row.stepDowns != 0) {
        EXPECT_NE(harness.Printed().find(row.text + "\n"), std::string::npos);
      }
    }
    EXPECT_EQ(harness.Finish(), "");
  }
}

}  // namespace
