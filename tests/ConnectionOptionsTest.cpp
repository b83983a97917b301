// The connection options against the scripted fake server: each off is the
// behaviour the other suites check; here each is on. Built for Windows too,
// so the time-outs also run on the DLL under wine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "PlatformError.h"
#include "MapText.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/DeviceMap.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::Endpoint;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::FakeModbusServer;
using testsupport::ReadAnswer;
using testsupport::ScriptConnection;
using testsupport::Step;
using testsupport::ToHex;
using testsupport::WriteAnswer;

// Every fake server here listens on a port of its own on this address.
constexpr char kAddress[] = "127.0.0.1";
constexpr char kName[] = "CMBusTCP::MbReadHoldingRegs: ";
constexpr char kNotConnected[] =
    "CTCPModbus::ReadHoldRegs: Not connected to Modbus Server yet.\n";

// A port where nothing listens: one the system gave a server that has closed
// again. It stays free unless the system gives that very port to someone
// else in the next moments.
unsigned short FreedPort() {
  const FakeModbusServer held(kAddress, {});
  return held.Port();
}

// A module that takes the request and never answers while the client waits.
Step Silent() { return Step::Pause(std::chrono::milliseconds(600)); }

std::string ConnectedLines(const std::string& address) {
  return "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=" +
         address +
         ", LocalPort=0\nCTCPModbus::Initialize: Succeed to connect to Modbus/TCP Server\n";
}

// Two reads of two holding registers on one object with a response time-out
// of 200 ms and, where a row says so, recovery on. The first read fails with
// `firstMessage` and `firstCode`; the second either reads `values` (after
// reconnecting) or reports that the object is not connected.
TEST(ConnectionOptionsTest, ResponseTimeOutAndRecovery) {
  const Bytes answer = ReadAnswer(3, {0x4242, 0x4343});
  const Bytes late = ReadAnswer(3, {0x0bad, 0x0bad});
  std::promise<void> lateSent;
  struct Row {
    const char* what;
    bool recovery;
    std::vector<Step> script;
    std::string firstMessage;
    int firstCode;  // with no system error, unless the text is left open
    bool secondReads;
    bool answersLate = false;  // the second read waits for the late answer
  };
  const std::string noResponse =
      std::string(kName) + "No response from DIO Module 1 within 200 ms";
  const std::vector<Row> rows = {
      {"silent module, recovery off",
       false,
       {Step::Receive(12), Silent()},
       noResponse,
       TCPModbusIntf::ErrorTimeout,
       false},
      {"late answer, recovery on: the next read gets its own",
       true,
       {Step::Receive(12), Silent(),
        Step::Custom("answer late",
                     [&](ScriptConnection& c) {
                       c.SendAll(late);  // the client has gone: may fail
                       lateSent.set_value();
                       return std::string();
                     }),
        Step::Accept(), Step::Receive(12), Step::Send(answer)},
       noResponse,
       TCPModbusIntf::ErrorTimeout,
       true,
       true},
      {"7 bytes, then silence: judged, then closed",
       false,
       {Step::Receive(12),
        Step::Send(Bytes(answer.begin(), answer.begin() + 7)), Silent()},
       std::string(kName) +
           "Response was too short on DIO Module 1. readSize=7",
       TCPModbusIntf::ErrorTooShort,
       false},
      {"closed by the module, recovery on",
       true,
       {Step::Receive(12), Step::Close(), Step::Accept(), Step::Receive(12),
        Step::Send(answer)},
       std::string(kName) + "Unexpected close of connection on DIO Module 1",
       TCPModbusIntf::ErrorClosed,
       true},
      {"closed in the middle of an answer, recovery on",
       true,
       {Step::Receive(12),
        Step::Send(Bytes(answer.begin(), answer.begin() + 5)), Step::Close(),
        Step::Accept(), Step::Receive(12), Step::Send(answer)},
       std::string(kName) +
           "Response was too short on DIO Module 1. readSize=5",
       TCPModbusIntf::ErrorTooShort,
       true},
      {"reset by the module, recovery on",
       true,
       {Step::Receive(12), Step::Reset(), Step::Accept(), Step::Receive(12),
        Step::Send(answer)},
       "",  // the reset reads as a failed receive or a close, by platform
       TCPModbusIntf::ErrorClosed,
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ClientHarness client;
    const Endpoint endpoint{kAddress};
    ASSERT_TRUE(client.Listen(endpoint, row.script)) << client.SkipReason();
    client->SetResponseTimeout(200);
    client->SetRecovery(row.recovery);
    ASSERT_EQ(client.Initialize(endpoint), 1);

    std::uint16_t values[2] = {0xaaaa, 0xbbbb};
    auto read = [&](TCPModbusIntf& c) { return c.ReadHoldRegs(0, values, 2); };
    EXPECT_EQ(client.Run(read), 0);
    if (!row.firstMessage.empty()) {
      EXPECT_EQ(client->LastErrorString(), row.firstMessage);
      EXPECT_EQ(FailureRecordOf(client.Client()), FailureRecord{row.firstCode});
    } else {
      EXPECT_EQ(client->LastErrorCode(), row.firstCode);
    }
    EXPECT_EQ(values[0], 0xaaaa);
    if (row.answersLate) {
      ASSERT_EQ(lateSent.get_future().wait_for(std::chrono::seconds(10)),
                std::future_status::ready);
    }
    EXPECT_EQ(client.Run(read), row.secondReads ? 1 : 0)
        << client->LastErrorString();
    if (row.secondReads) {
      // Initialize's lines, then the exchange on the new connection.
      EXPECT_EQ(client.Printed().rfind(ConnectedLines(kAddress), 0), 0u)
          << client.Printed();
      EXPECT_EQ(values[0], 0x4242);
      EXPECT_EQ(values[1], 0x4343);
      EXPECT_EQ(client->Reconnects(), 1u);
    } else {
      EXPECT_EQ(client.Printed(), kNotConnected);
      EXPECT_EQ(client->LastErrorCode(), TCPModbusIntf::ErrorNotConnected);
      EXPECT_EQ(values[0], 0xaaaa);
    }
    EXPECT_EQ(client.Finish(), "");
  }
}

// Recovery never undoes Close, and it retries an Initialize that failed.
TEST(ConnectionOptionsTest, RecoveryAfterAFailedInitializeButNotAfterClose) {
  ClientHarness closed;
  ASSERT_TRUE(closed.Listen({kAddress}, {Step::WaitForClientClose()}))
      << closed.SkipReason();
  closed->SetRecovery(true);
  ASSERT_EQ(closed.Initialize({kAddress}), 1);
  closed->Close();
  std::uint16_t value = 0;
  auto read = [&](TCPModbusIntf& c) { return c.ReadHoldRegs(0, &value, 1); };
  EXPECT_EQ(closed.Run(read), 0);
  EXPECT_EQ(closed.Printed(), kNotConnected);
  EXPECT_EQ(closed.Finish(), "");
  EXPECT_EQ(closed.Server().Connections(), 1);

  // Nothing listens at the first Initialize; the module comes up later.
  const Endpoint freed{kAddress, 1, FreedPort()};
  ASSERT_NE(freed.port, 0);
  ClientHarness late;
  late->SetRecovery(true);
  EXPECT_EQ(late.Initialize(freed), 0);
  // A reconnect that fails keeps its own code and number.
  EXPECT_EQ(late.Run(read), 0);
  EXPECT_EQ(late.Printed().find(kNotConnected), late.Printed().size() -
                                                    std::strlen(kNotConnected));
  EXPECT_EQ(FailureRecordOf(late.Client()),
            (FailureRecord{TCPModbusIntf::ErrorConnect,
                           testsupport::PlatformError(111, 10061)}));
  ClientHarness module;
  ASSERT_TRUE(
      module.Listen(freed, {Step::Receive(12), Step::Send(ReadAnswer(3, {9}))}))
      << module.SkipReason();
  EXPECT_EQ(late.Run(read), 1) << late->LastErrorString();
  EXPECT_EQ(value, 9);
  EXPECT_EQ(late->Reconnects(), 1u);
  late.Finish();
  EXPECT_EQ(module.Finish(), "");
}

// The port the harness chose and the unit identifier reach the wire.
TEST(ConnectionOptionsTest, UnitIdentifierAndServerPortOnTheWire) {
  ClientHarness client;
  SERVE_OR_SKIP(client, {kAddress},
                {Step::Receive(12), Step::Send(ReadAnswer(3, {5}))});
  EXPECT_EQ(client->SetServerPort(0), 0);  // refused; the port stays
  // The code tells why; the text is the protocol client's alone.
  EXPECT_EQ(FailureRecordOf(client.Client()),
            FailureRecord{TCPModbusIntf::ErrorInvalidArgument});
  EXPECT_STREQ(client->LastErrorString(), "");
  EXPECT_EQ(client->SetUnitId(0x11), 1);
  std::uint16_t value = 0;
  EXPECT_EQ(client.Run([&](TCPModbusIntf& c) {
    return c.ReadHoldRegs(0x0102, &value, 1);
  }),
            1);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(client.Object().ServerPort, client.Server().Port());
  EXPECT_EQ(client.Finish(), "");
  ASSERT_EQ(client.Server().Requests().size(), 1u);
  EXPECT_EQ(ToHex(client.Server().Requests()[0]),
            "00 00 00 00 00 06 11 03 01 02 00 01");
}

// With transaction identifiers on, a time-out leaves the connection open:
// the late answer is recognised and dropped when it comes, and the next read
// gets its own. A second time-out in a row closes the connection.
TEST(ConnectionOptionsTest, TimeOutWithIdentifiersKeepsTheConnection) {
  auto withId = [](Bytes frame, std::uint8_t id) {
    frame[1] = id;
    return frame;
  };
  const Bytes late = withId(ReadAnswer(3, {0x0bad, 0x0bad}), 1);
  ClientHarness client;
  ASSERT_TRUE(client.Listen(
      {kAddress},
      {Step::Receive(12), Step::Pause(std::chrono::milliseconds(1500)),
       Step::Send(late), Step::Receive(12),
       Step::Send(withId(ReadAnswer(3, {0x4242, 0x4343}), 2)),
       Step::Receive(12), Step::Receive(12), Step::WaitForClientClose()}))
      << client.SkipReason();
  client->SetTransactionIds(true);
  client->SetResponseTimeout(1000);
  ASSERT_EQ(client.Initialize({kAddress}), 1);
  std::uint16_t values[2] = {0xaaaa, 0xbbbb};
  auto read = [&](TCPModbusIntf& c) { return c.ReadHoldRegs(0, values, 2); };

  EXPECT_EQ(client.Run(read), 0);
  EXPECT_EQ(
      client->LastErrorString(),
      std::string(kName) + "No response from DIO Module 1 within 1000 ms");
  EXPECT_EQ(FailureRecordOf(client.Client()),
            FailureRecord{TCPModbusIntf::ErrorTimeout});
  EXPECT_EQ(client.Run(read), 1) << client->LastErrorString();
  EXPECT_EQ(values[0], 0x4242);
  EXPECT_NE(
      client.Printed().find(
          "CMBusTCP::MbReadHoldingRegs <==Dropped Response to an earlier request...Size=13\n" +
          ToHex(late) + " \n"),
      std::string::npos)
      << client.Printed();

  client->SetResponseTimeout(100);
  EXPECT_EQ(client.Run(read), 0);  // the first time-out: still connected
  EXPECT_EQ(client.Run(read), 0);  // the second in a row: closed
  EXPECT_EQ(client->LastErrorCode(), TCPModbusIntf::ErrorTimeout);
  EXPECT_EQ(client.Run(read), 0);
  EXPECT_EQ(client.Printed(), kNotConnected);
  EXPECT_EQ(client->LastErrorCode(), TCPModbusIntf::ErrorNotConnected);
  EXPECT_EQ(client->Reconnects(), 0u);
  EXPECT_EQ(client.Finish(), "");
  EXPECT_TRUE(client.Server().ClientClosed());
}

// A listener whose queue is full never answers a further SYN: connect gives
// up after the time-out with the platform's time-out number.
TEST(ConnectionOptionsTest, ConnectTimeOutOnAFullBacklog) {
  FakeModbusServer::Options full;
  full.backlog = 0;
  ClientHarness filler;
  ASSERT_TRUE(filler.Listen({kAddress}, {}, full)) << filler.SkipReason();
  ASSERT_EQ(filler.Initialize({kAddress}), 1);  // takes the one place
  ClientHarness client;
  client->SetConnectTimeout(300);
  EXPECT_EQ(client.Initialize({kAddress, 1, filler.Server().Port()}), 0);
  EXPECT_EQ(std::string(client->LastErrorString()),
            "WSASocket failed. connect Error(" +
                std::to_string(testsupport::PlatformError(110, 10060)) + ")");
  EXPECT_EQ(FailureRecordOf(client.Client()),
            (FailureRecord{TCPModbusIntf::ErrorConnect,
                           testsupport::PlatformError(110, 10060)}));
  EXPECT_EQ(client.Object().TcpSocket.SocketHandle, 0u);
}

// Cancel from another thread ends the wait of the call in progress: it
// fails with ErrorCancelled, the connection closed when a request was on its
// way. One that comes between two requests of a batch or a map write ends
// the call there, before the next request. A cancel made before a call does
// not reach it.
TEST(ConnectionOptionsTest, CancelEndsTheWaitOfTheCallInProgress) {
  FakeModbusServer::Options full;
  full.backlog = 0;
  ClientHarness filler;  // a listener with no place left: a connect waits
  ASSERT_TRUE(filler.Listen({kAddress}, {}, full)) << filler.SkipReason();
  ASSERT_EQ(filler.Initialize({kAddress}), 1);
  enum class Call { kRead, kConnect, kBatch, kMapWrite };
  struct Row {
    const char* what;
    Call call;
    std::string text;
  };
  const Row rows[] = {
      {"waiting for an answer", Call::kRead,
       std::string(kName) +
           "Cancelled while waiting for the answer of DIO Module 1; the connection was closed"},
      {"connecting", Call::kConnect,
       "CMBusTCP::ConnectToServer: Cancelled while connecting to DIO Module 1"},
      {"a batch, once its first read has its answer", Call::kBatch,
       "CTCPModbus::ReadHoldRegs: Cancelled before the request to DIO Module 1 was sent"},
      {"a map write, once its first write has its answer", Call::kMapWrite,
       "CTCPModbus::WriteSingleHoldReg: Cancelled before the request to DIO Module 1 was sent"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ClientHarness client;
    std::uint16_t values[2] = {0, 0};
    tcpmodbus_read reads[2] = {
        {TCPMODBUS_TABLE_HOLDING, 0, 1, &values[0], nullptr, 0, 0, 0},
        {TCPMODBUS_TABLE_HOLDING, 1, 1, &values[1], nullptr, 0, 0, 0}};
    if (row.call == Call::kRead) {
      ASSERT_TRUE(client.Listen(
          {kAddress}, {Step::Receive(12), Step::WaitForClientClose()}))
          << client.SkipReason();
      ASSERT_EQ(client.Initialize({kAddress}), 1);
    } else if (row.call != Call::kConnect) {
      // The cancel comes from the trace of the first request's success,
      // after its wait; the second request would find the module silent.
      const bool batch = row.call == Call::kBatch;
      ASSERT_TRUE(client.Listen(
          {kAddress},
          {Step::Receive(12),
           Step::Send(batch ? ReadAnswer(3, {7}) : WriteAnswer(6, 0, 7)),
           Step::WaitForClientClose()}))
          << client.SkipReason();
      ASSERT_EQ(client.Initialize({kAddress}), 1);
      client->SetResponseTimeout(300);
      client->SetTraceSink(
          [](void* context, const char* text, std::size_t) {
            if (std::strstr(text, "Succeed to") != nullptr) {
              static_cast<TCPModbusIntf*>(context)->Cancel();
            }
          },
          &client.Client());
    }
    // Again and again until the call returns, so that one lands in its wait.
    std::atomic<bool> returned{row.call == Call::kBatch ||
                               row.call == Call::kMapWrite};
    std::thread canceller([&] {
      while (!returned) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        client->Cancel();
      }
    });
    int result = 0;
    if (row.call == Call::kRead) {
      result = client.Run(
          [&](TCPModbusIntf& c) { return c.ReadHoldRegs(0, &values[0], 1); });
    } else if (row.call == Call::kConnect) {
      result = client.Initialize({kAddress, 1, filler.Server().Port()});
    } else if (row.call == Call::kBatch) {
      result =
          client.Run([&](TCPModbusIntf& c) { return c.ReadBatch(reads, 2); });
    } else {
      result = client.Run([&](TCPModbusIntf& c) {
        return tcpmodbus::WritePoints(c, testsupport::MapOf("a@h0 b@h10"),
                                      {{"a", 7.0}, {"b", 8.0}}, nullptr);
      });
    }
    returned = true;
    canceller.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(client->LastFailureText(), row.text);
    EXPECT_EQ(FailureRecordOf(client.Client()),
              FailureRecord{TCPModbusIntf::ErrorCancelled});
    if (row.call == Call::kBatch) {
      EXPECT_EQ(reads[0].result, 1);
      EXPECT_EQ(values[0], 7);
      EXPECT_EQ(reads[1].error_code, TCPMODBUS_ERROR_CANCELLED);
    }
    if (row.call == Call::kBatch || row.call == Call::kMapWrite) {
      // Nothing was sent after the cancel: the connection is kept.
      EXPECT_NE(client.Object().TcpSocket.SocketHandle, 0u);
    } else {
      EXPECT_EQ(client.Object().TcpSocket.SocketHandle, 0u);
    }
    EXPECT_EQ(client.Finish(), "");
  }
  ClientHarness client;
  SERVE_OR_SKIP(client, {kAddress},
                {Step::Receive(12), Step::Send(ReadAnswer(3, {7}))});
  EXPECT_EQ(client->Cancel(), 1);
  std::uint16_t value = 0;
  EXPECT_EQ(client.Run([&](TCPModbusIntf& c) {
    return c.ReadHoldRegs(0, &value, 1);
  }),
            1);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(client.Finish(), "");
}

}  // namespace
