// Faults injected by the scripted server: closes, resets, split and merged
// answers, oversize answers, garbage and every exception code. Each test
// checks the result, the exact message, and what the next operation on the
// same object does.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ExpectedExceptionTexts.h"
#include "FakeModbusServer.h"
#include "ReliabilitySupport.h"
#include "SkipUnlessListening.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace reliability {
namespace {

using testsupport::FakeModbusServer;
using testsupport::ScriptConnection;
using testsupport::Step;

constexpr unsigned short kModule = 7;
constexpr std::chrono::milliseconds kPacing{1};

int ReadHolding(TCPModbusIntf& client, std::vector<std::uint16_t>* values) {
  return Quietly([&] {
    return client.ReadHoldRegs(0, values->data(),
                               static_cast<unsigned short>(values->size()));
  });
}

const char* TransportError(TCPModbusIntf& client) {
  return dynamic_cast<CTCPModbus&>(client).TcpSocket.ErrorText;
}

bool HasSocket(TCPModbusIntf& client) {
  return dynamic_cast<CTCPModbus&>(client).TcpSocket.SocketHandle != 0;
}

TEST(FaultInjectionTest, CloseBeforeAnsweringFailsAndReinitializeRecovers) {
  FakeModbusServer server(
      "127.0.10.1", {Step::Receive(12), Step::Close(), Step::Accept(),
                     Step::Receive(12), Step::Send(ReadAnswer(3, {42, 43}))});
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.1", kModule);
  ASSERT_TRUE(client);
  std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};

  EXPECT_EQ(ReadHolding(*client, &values), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");
  EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
  // The exchange does not close the socket; the next one tries the same
  // connection, which the server has left.
  EXPECT_TRUE(HasSocket(*client));
  EXPECT_EQ(ReadHolding(*client, &values), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");

  ASSERT_EQ(Quietly([&] {
              return client->Initialize(kModule, "127.0.10.1", 0, "127.0.10.1");
            }),
            1);
  EXPECT_EQ(ReadHolding(*client, &values), 1);
  EXPECT_EQ(values, (std::vector<std::uint16_t>{42, 43}));
  client.reset();
  EXPECT_EQ(server.Join(), "");
}

TEST(FaultInjectionTest, CloseInTheMiddleOfAFrameDeliversWhatArrived) {
  const Bytes answer = ReadAnswer(3, {0x0102, 0x00ff});  // 13 bytes
  for (std::size_t cut = 1; cut < answer.size(); ++cut) {
    SCOPED_TRACE("closed after " + std::to_string(cut) + " bytes");
    FakeModbusServer server(
        "127.0.10.2",
        {Step::Receive(12),
         Step::Send(
             Bytes(answer.begin(), answer.begin() + static_cast<long>(cut))),
         Step::Close()});
    SKIP_UNLESS_LISTENING(server);
    auto client = ConnectClient("127.0.10.2", kModule);
    ASSERT_TRUE(client);
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};

    EXPECT_EQ(ReadHolding(*client, &values), 0);
    const std::string expected =
        cut < 9
            ? "CMBusTCP::MbReadHoldingRegs: Response was too short on DIO Module 7. readSize=" +
                  std::to_string(cut)
            : "CMBusTCP::MbReadHoldingRegs: Incorrect response size: " +
                  std::to_string(cut) + ". Expected: 13";
    EXPECT_EQ(client->LastErrorString(), expected);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));

    // Nothing of the cut frame is left over: the next exchange sees the
    // close itself.
    EXPECT_EQ(ReadHolding(*client, &values), 0);
    EXPECT_STREQ(
        client->LastErrorString(),
        "CMBusTCP::MbReadHoldingRegs: Unexpected close of connection on DIO Module 7");
    client.reset();
    EXPECT_EQ(server.Join(), "");
  }
}

TEST(FaultInjectionTest, AnswerSplitAtEveryPositionIsGatheredWhole) {
  std::vector<Step> script;
  std::vector<std::vector<std::uint16_t>> expected;
  for (std::uint16_t cut = 1; cut < 13; ++cut) {
    expected.push_back({cut, static_cast<std::uint16_t>(0xff00 + cut)});
    script.push_back(Step::Receive(12));
    script.push_back(
        Step::SendSplit(ReadAnswer(3, expected.back()), {cut}, kPacing));
  }
  // And one byte at a time.
  expected.push_back({0x8001, 0x7ffe});
  script.push_back(Step::Receive(12));
  script.push_back(Step::SendSplit(ReadAnswer(3, expected.back()),
                                   {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                                   kPacing));
  FakeModbusServer server("127.0.10.3", script);
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.3", kModule);
  ASSERT_TRUE(client);

  for (std::size_t row = 0; row < expected.size(); ++row) {
    SCOPED_TRACE(row < 12 ? "split after byte " + std::to_string(row + 1)
                          : std::string("one byte at a time"));
    std::vector<std::uint16_t> values = {0, 0};
    EXPECT_EQ(ReadHolding(*client, &values), 1) << client->LastErrorString();
    EXPECT_EQ(values, expected[row]);
  }
  EXPECT_STREQ(client->LastErrorString(), "");
  client.reset();
  EXPECT_EQ(server.Join(), "");
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
  FakeModbusServer server("127.0.10.4", script);
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.4", kModule);
  ASSERT_TRUE(client);

  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(rows[i].what);
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};
    EXPECT_EQ(ReadHolding(*client, &values), 0);
    EXPECT_STREQ(client->LastErrorString(), rows[i].message);
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
    EXPECT_EQ(ReadHolding(*client, &values), 1) << client->LastErrorString();
    EXPECT_EQ(values, (std::vector<std::uint16_t>{static_cast<std::uint16_t>(i),
                                                  0x5678}));
  }
  client.reset();
  EXPECT_EQ(server.Join(), "");
}

TEST(FaultInjectionTest, GarbageIsJudgedAsItCameAndTheNextAnswerIsRead) {
  const std::string http = "HTTP/1.1 400 Bad Request\r\n\r\n";
  // `message` empty: the bytes are accepted as the answer, `values` theirs.
  struct Row {
    const char* what;
    Bytes garbage;
    const char* message;
    std::vector<std::uint16_t> values;
  };
  const std::vector<Row> rows = {
      {"text",
       Bytes(http.begin(), http.end()),
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 28. Expected: 13",
       {}},
      {"all bits set",
       Bytes(20, 0xff),
       "CMBusTCP::MbReadHoldingRegs: MODBUS exception response on DIO Module 7 - Code=255, \"Extended Exception Response\"",
       {}},
      {"header with length 1",
       {0, 0, 0, 0, 0, 1, 1, 3, 0},
       "CMBusTCP::MbReadHoldingRegs: Incorrect response size: 9. Expected: 13",
       {}},
      // Thirteen bytes are the size a read of two registers expects, and
      // the header is not compared: they are taken as the answer.
      {"protocol identifier 1",
       {0, 0, 0, 1, 0, 7, 1, 3, 4, 0, 1, 0, 2},
       "",
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
  FakeModbusServer server("127.0.10.6", script);
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.6", kModule);
  ASSERT_TRUE(client);

  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].what);
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};
    const int result = ReadHolding(*client, &values);
    if (std::string(rows[i].message).empty()) {
      EXPECT_EQ(result, 1) << client->LastErrorString();
      EXPECT_EQ(values, rows[i].values);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_STREQ(client->LastErrorString(), rows[i].message);
      EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
    }
    EXPECT_EQ(ReadHolding(*client, &values), 1) << client->LastErrorString();
    EXPECT_EQ(values, (std::vector<std::uint16_t>{static_cast<std::uint16_t>(i),
                                                  0x1234}));
  }
  client.reset();
  EXPECT_EQ(server.Join(), "");
}

TEST(FaultInjectionTest, EveryExceptionCodeIsReportedWithItsText) {
  struct Operation {
    const char* name;
    std::uint8_t functionCode;
    std::size_t requestSize;
  };
  const Operation operations[] = {
      {"CMBusTCP::MbReadHoldingRegs", 3, 12},
      {"CMBusTCP::MbReadInputRegs", 4, 12},
      {"CMBusTCP::MbPresetSingleReg", 6, 12},
      {"CMBusTCP::MbPresetMultipleRegs", 16, 17},
  };
  std::vector<Step> script;
  for (int code = 0; code <= 255; ++code) {
    const Operation& operation = operations[code % 4];
    script.push_back(Step::Receive(operation.requestSize));
    script.push_back(Step::Send(ExceptionAnswer(
        operation.functionCode, static_cast<std::uint8_t>(code))));
  }
  script.push_back(Step::Receive(12));
  script.push_back(Step::Send(ReadAnswer(3, {11, 12})));
  FakeModbusServer server("127.0.10.7", script);
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.7", kModule);
  ASSERT_TRUE(client);

  for (int code = 0; code <= 255; ++code) {
    SCOPED_TRACE("exception code " + std::to_string(code));
    std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};
    unsigned short single = 1;
    int result = -1;
    switch (code % 4) {
      case 0:
        result = ReadHolding(*client, &values);
        break;
      case 1:
        result =
            Quietly([&] { return client->ReadInputRegs(0, values.data(), 2); });
        break;
      case 2:
        result = Quietly([&] { return client->WriteSingleHoldReg(0, single); });
        break;
      case 3:
        result = Quietly(
            [&] { return client->WriteMultiHoldRegs(0, values.data(), 2); });
        break;
    }
    EXPECT_EQ(result, 0);
    EXPECT_EQ(client->LastErrorString(),
              std::string(operations[code % 4].name) +
                  ": MODBUS exception response on DIO Module 7 - Code=" +
                  std::to_string(code) + ", \"" +
                  testsupport::ExpectedExceptionText(code) + "\"");
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
  }
  std::vector<std::uint16_t> values = {0, 0};
  EXPECT_EQ(ReadHolding(*client, &values), 1) << client->LastErrorString();
  EXPECT_EQ(values, (std::vector<std::uint16_t>{11, 12}));
  client.reset();
  EXPECT_EQ(server.Join(), "");
}

TEST(FaultInjectionTest, ResetInsteadOfAnswerFailsTheReceiveThenTheSend) {
  FakeModbusServer server("127.0.10.8", {Step::Receive(12), Step::Reset()});
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.8", kModule);
  ASSERT_TRUE(client);
  std::vector<std::uint16_t> values = {0xaaaa, 0xbbbb};

  EXPECT_EQ(ReadHolding(*client, &values), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Response was too short on DIO Module 7. readSize=-1");
  EXPECT_STREQ(TransportError(*client), "WSASocket failed. recv Error(104)");
  EXPECT_TRUE(HasSocket(*client));

  EXPECT_EQ(ReadHolding(*client, &values), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbReadHoldingRegs: Failed to send request to DIO Module 7. Error: WSASocket failed. send Error(32)");
  EXPECT_EQ(values, (std::vector<std::uint16_t>{0xaaaa, 0xbbbb}));
  client.reset();
  EXPECT_EQ(server.Join(), "");
}

TEST(FaultInjectionTest, WritingToAPeerThatClosedDoesNotRaiseSigpipe) {
  std::promise<void> closed;
  FakeModbusServer server(
      "127.0.10.9",
      {Step::Close(), Step::Custom("tell the test", [&](ScriptConnection&) {
         closed.set_value();
         return std::string();
       })});
  SKIP_UNLESS_LISTENING(server);
  auto client = ConnectClient("127.0.10.9", kModule);
  ASSERT_TRUE(client);
  ASSERT_EQ(closed.get_future().wait_for(std::chrono::seconds(10)),
            std::future_status::ready);
  // With the default action a SIGPIPE would end this process.
  const auto previous = std::signal(SIGPIPE, SIG_DFL);

  unsigned short value = 5;
  EXPECT_EQ(Quietly([&] { return client->WriteSingleHoldReg(1, value); }), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbPresetSingleReg: Unexpected close of connection on DIO Module 7");
  EXPECT_EQ(Quietly([&] { return client->WriteSingleHoldReg(1, value); }), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbPresetSingleReg: Failed to send request to DIO Module 7. Error: WSASocket failed. send Error(32)");
  EXPECT_EQ(Quietly([&] { return client->WriteSingleHoldReg(1, value); }), 0);
  EXPECT_STREQ(
      client->LastErrorString(),
      "CMBusTCP::MbPresetSingleReg: Failed to send request to DIO Module 7. Error: WSASocket failed. send Error(32)");
  std::signal(SIGPIPE, previous);
  client.reset();
  EXPECT_EQ(server.Join(), "");
}

TEST(FaultInjectionTest, SilentServerBlocksOnlyTheThreadOfItsOwnObject) {
  std::promise<void> requestSeen;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  FakeModbusServer::Options patient;
  patient.timeout = std::chrono::seconds(30);
  FakeModbusServer silent(
      "127.0.10.10",
      {Step::Receive(12),
       Step::Custom("hold the answer",
                    [&](ScriptConnection&) {
                      requestSeen.set_value();
                      return released.wait_for(std::chrono::seconds(30)) ==
                                     std::future_status::ready
                                 ? std::string()
                                 : std::string("never released");
                    }),
       Step::Close()},
      patient);
  SKIP_UNLESS_LISTENING(silent);
  FakeModbusServer answering(
      "127.0.10.11", {Step::Receive(12), Step::Send(ReadAnswer(4, {99}))});
  SKIP_UNLESS_LISTENING(answering);
  auto blocked = ConnectClient("127.0.10.10", kModule);
  auto free = ConnectClient("127.0.10.11", 8);
  ASSERT_TRUE(blocked && free);

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
  EXPECT_EQ(blockedValues, (std::vector<std::uint16_t>{0xaaaa}));
  blocked.reset();
  free.reset();
  EXPECT_EQ(silent.Join(), "");
  EXPECT_EQ(answering.Join(), "");
}

}  // namespace
}  // namespace reliability
