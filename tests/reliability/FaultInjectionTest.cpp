// Faults injected by the scripted server: closes, resets, merged and
// oversize answers, and garbage. Each test checks the result, the exact
// message with its code, and what the next operation on the same object
// does.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::ModbusException;
using testsupport::ReadAnswer;
using testsupport::ScriptConnection;
using testsupport::Step;

// Every fake server listens on a port of its own on this address.
constexpr char kAddress[] = "127.0.0.1";
// An orderly close by the module: no system error.
const FailureRecord kClosed{TCPModbusIntf::ErrorClosed};
const FailureRecord kWrongSize{TCPModbusIntf::ErrorWrongSize};
constexpr unsigned short kModule = 7;

int ReadHolding(ClientHarness& harness, std::vector<std::uint16_t>* values) {
  return harness.Run([&](TCPModbusIntf& client) {
    return client.ReadHoldRegs(0, values->data(),
                               static_cast<unsigned short>(values->size()));
  });
}

bool HasSocket(ClientHarness& harness) {
  return harness.Object().TcpSocket.SocketHandle != 0;
}

TEST(FaultInjectionTest, CloseBeforeAnsweringFailsAndReinitializeRecovers) {
  ClientHarness client;
  SERVE_OR_SKIP(client, {kAddress, kModule},
                {Step::Receive(12), Step::Close(), Step::Accept(),
                 Step::Receive(12), Step::Send(ReadAnswer(3, {42, 43}))});
  std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};

  EXPECT_EQ(ReadHolding(client, &values), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");
  EXPECT_EQ(FailureRecordOf(client.Client()), kClosed);
  EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
  // The exchange does not close the socket; the next one tries the same
  // connection, which the server has left.
  EXPECT_TRUE(HasSocket(client));
  EXPECT_EQ(ReadHolding(client, &values), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");
  EXPECT_EQ(FailureRecordOf(client.Client()), kClosed);

  ASSERT_EQ(client.Initialize({kAddress, kModule}), 1);
  EXPECT_EQ(ReadHolding(client, &values), 1);
  EXPECT_EQ(values, (std::vector<std::uint16_t>{42, 43}));
  EXPECT_EQ(client.Finish(), "");
}

TEST(FaultInjectionTest, CloseInTheMiddleOfAFrameDeliversWhatArrived) {
  const Bytes answer = ReadAnswer(3, {0x0102, 0x00ff});  // 13 bytes
  for (std::size_t cut = 1; cut < answer.size(); ++cut) {
    SCOPED_TRACE("closed after " + std::to_string(cut) + " bytes");
    ClientHarness client;
    SERVE_OR_SKIP(client, {kAddress, kModule},
                  {Step::Receive(12),
                   Step::Send(Bytes(answer.begin(),
                                    answer.begin() + static_cast<long>(cut))),
                   Step::Close()});
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};

    EXPECT_EQ(ReadHolding(client, &values), 0);
    const std::string expected =
        cut < 9
            ? "CMBusTCP::MbReadHoldingRegs: Response was too short on DIO Module 7. readSize=" +
                  std::to_string(cut)
            : "CMBusTCP::MbReadHoldingRegs: Incorrect response size: " +
                  std::to_string(cut) + ". Expected: 13";
    EXPECT_EQ(client->LastErrorString(), expected);
    EXPECT_EQ(
        FailureRecordOf(client.Client()),
        cut < 9 ? FailureRecord{TCPModbusIntf::ErrorTooShort} : kWrongSize);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));

    // Nothing of the cut frame is left over: the next exchange sees the
    // close itself.
    EXPECT_EQ(ReadHolding(client, &values), 0);
    EXPECT_STREQ(
        client->LastErrorString(),
        "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");
    EXPECT_EQ(FailureRecordOf(client.Client()), kClosed);
    EXPECT_EQ(client.Finish(), "");
  }
}

// Bytes behind an answer are never the next request's answer: two answers
// in one segment fail on size, and an answer larger than one receive leaves
// a rest that the next send discards. Each next exchange gets its own answer.
TEST(FaultInjectionTest, BytesBehindAnAnswerNeverServeTheNextRequest) {
  Bytes both = ReadAnswer(3, {1, 2});
  const Bytes second = ReadAnswer(4, {3, 4, 5});
  both.insert(both.end(), second.begin(), second.end());
  // A header announcing 255 bytes: a whole 261-byte frame.
  Bytes largest = {0, 0, 0, 0, 0, 255, 1, 3, 252};
  largest.resize(261, 0);
  // 300 bytes: a length no answer can have; the receive takes 261 of them.
  Bytes tooLong = {0, 0, 0, 0, 0x01, 0x26, 1, 3};
  tooLong.resize(300, 0);
  struct Row {
    const char* what;
    Bytes answer;
    const char* message;
  };
  const Row rows[] = {
      {"two answers in one segment", both,
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 28. Expected: 13"},
      {"261 bytes", largest,
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 261. Expected: 13"},
      {"300 bytes", tooLong,
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 261. Expected: 13"},
  };
  std::vector<Step> script;
  for (std::size_t i = 0; i < 3; ++i) {
    script.push_back(Step::Receive(12));
    script.push_back(Step::Send(rows[i].answer));
    script.push_back(Step::Receive(12));
    script.push_back(
        Step::Send(ReadAnswer(3, {static_cast<std::uint16_t>(i), 0x5678})));
  }
  ClientHarness client;
  SERVE_OR_SKIP(client, {kAddress, kModule}, script);

  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(rows[i].what);
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};
    EXPECT_EQ(ReadHolding(client, &values), 0);
    EXPECT_STREQ(client->LastErrorString(), rows[i].message);
    EXPECT_EQ(FailureRecordOf(client.Client()), kWrongSize);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
    EXPECT_EQ(ReadHolding(client, &values), 1) << client->LastErrorString();
    EXPECT_EQ(values, (std::vector<std::uint16_t>{static_cast<std::uint16_t>(i),
                                                  0x5678}));
  }
  EXPECT_EQ(client.Finish(), "");
}

TEST(FaultInjectionTest, GarbageIsJudgedAsItCameAndTheNextAnswerIsRead) {
  const std::string http = "HTTP/1.1 400 Bad Request\r\n\r\n";
  // `message` empty: the bytes are accepted as the answer, `values` theirs.
  struct Row {
    const char* what;
    Bytes garbage;
    const char* message;
    FailureRecord failure;
    std::vector<std::uint16_t> values;
  };
  const std::vector<Row> rows = {
      {"text",
       Bytes(http.begin(), http.end()),
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 28. Expected: 13",
       kWrongSize,
       {}},
      {"all bits set",
       Bytes(20, 0xff),
       "CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 7 - Code=255, \"Extended Exception Response\"",
       ModbusException(255),
       {}},
      {"header with length 1",
       {0, 0, 0, 0, 0, 1, 1, 3, 0},
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 9. Expected: 13",
       kWrongSize,
       {}},
      // Thirteen bytes are the size a read of two registers expects, and
      // the header is not compared: they are taken as the answer.
      {"protocol identifier 1",
       {0, 0, 0, 1, 0, 7, 1, 3, 4, 0, 1, 0, 2},
       "",
       {},
       {1, 2}},
  };
  std::vector<Step> script;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    script.push_back(Step::Receive(12));
    script.push_back(Step::Send(rows[i].garbage));
    script.push_back(Step::Receive(12));
    script.push_back(
        Step::Send(ReadAnswer(3, {static_cast<std::uint16_t>(i), 0x1234})));
  }
  ClientHarness client;
  SERVE_OR_SKIP(client, {kAddress, kModule}, script);

  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].what);
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};
    const int result = ReadHolding(client, &values);
    if (std::string(rows[i].message).empty()) {
      EXPECT_EQ(result, 1) << client->LastErrorString();
      EXPECT_EQ(values, rows[i].values);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_STREQ(client->LastErrorString(), rows[i].message);
      EXPECT_EQ(FailureRecordOf(client.Client()), rows[i].failure);
      EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
    }
    EXPECT_EQ(ReadHolding(client, &values), 1) << client->LastErrorString();
    EXPECT_EQ(values, (std::vector<std::uint16_t>{static_cast<std::uint16_t>(i),
                                                  0x1234}));
  }
  EXPECT_EQ(client.Finish(), "");
}

// A module that resets the connection while it is idle: with recovery on,
// the next read finds it gone before it sends, reconnects and reads.
TEST(FaultInjectionTest, AResetWhileIdleIsRenewedBeforeTheSend) {
  std::promise<void> reset;
  ClientHarness client;
  ASSERT_TRUE(client.Listen(
      {kAddress, kModule},
      {Step::Receive(12), Step::Send(ReadAnswer(3, {1, 2})), Step::Reset(),
       Step::Custom("tell the test",
                    [&](ScriptConnection&) {
                      reset.set_value();
                      return std::string();
                    }),
       Step::Accept(), Step::Receive(12), Step::Send(ReadAnswer(3, {3, 4}))}))
      << client.SkipReason();
  client->SetRecovery(true);
  ASSERT_EQ(client.Initialize({kAddress, kModule}), 1);
  std::vector<std::uint16_t> values = {0, 0};
  ASSERT_EQ(ReadHolding(client, &values), 1) << client->LastErrorString();
  ASSERT_EQ(reset.get_future().wait_for(std::chrono::seconds(10)),
            std::future_status::ready);
  // The reset's segment has reached the client's socket by then.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(ReadHolding(client, &values), 1) << client->LastErrorString();
  EXPECT_EQ(values, (std::vector<std::uint16_t>{3, 4}));
  EXPECT_EQ(client->Reconnects(), 1u);
  EXPECT_EQ(client.Finish(), "");
}

TEST(FaultInjectionTest, WritingToAPeerThatClosedDoesNotRaiseSigpipe) {
  std::promise<void> closed;
  ClientHarness client;
  SERVE_OR_SKIP(
      client, {kAddress, kModule},
      {Step::Close(), Step::Custom("tell the test", [&](ScriptConnection&) {
         closed.set_value();
         return std::string();
       })});
  ASSERT_EQ(closed.get_future().wait_for(std::chrono::seconds(10)),
            std::future_status::ready);
  // With the default action a SIGPIPE would end this process.
  const auto previous = std::signal(SIGPIPE, SIG_DFL);

  // The broken pipe (32) is the module's reset, seen by the send.
  const FailureRecord brokenPipe{TCPModbusIntf::ErrorClosed, 32};
  const struct {
    const char* message;
    FailureRecord failure;
  } expected[] = {
      {"CMBusTCP::MbPresetSingleReg: Unexpected close of connection on DIO Module 7",
       kClosed},
      {"CMBusTCP::MbPresetSingleReg: Failed to send request to DIO Module 7. Error: WSASocket failed. send Error(32)",
       brokenPipe},
      {"CMBusTCP::MbPresetSingleReg: Failed to send request to DIO Module 7. Error: WSASocket failed. send Error(32)",
       brokenPipe},
  };
  unsigned short value = 5;
  for (const auto& row : expected) {
    EXPECT_EQ(client.Run([&](TCPModbusIntf& c) {
      return c.WriteSingleHoldReg(1, value);
    }),
              0);
    EXPECT_STREQ(client->LastErrorString(), row.message);
    EXPECT_EQ(FailureRecordOf(client.Client()), row.failure);
  }
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(client.Finish(), "");
}

}  // namespace
