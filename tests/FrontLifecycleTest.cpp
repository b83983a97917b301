// Connection lifecycle of the interface object: GetInstance, Initialize,
// Close, LastErrorString with its code, and destruction, against the
// scripted fake server.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "PlatformError.h"
#include "SkipUnlessListening.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using tcpmodbus::CTCPModbus;

using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::FakeModbusServer;
using testsupport::PlatformError;
using testsupport::ReadAnswer;
using testsupport::Step;

// The address of the fake servers that listen on a port of the system's
// choosing; those on port 502 need one each.
constexpr char kAddress[] = "127.0.0.1";

std::string ConnectedLines(const std::string& address) {
  return "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=" +
         address +
         ", LocalPort=0\n"
         "CTCPModbus::Initialize: Succeed to connect to Modbus/TCP Server\n";
}

TEST(FrontLifecycleTest, GetInstanceGivesANewObjectWithEmptyErrorText) {
  ClientHarness first;
  ClientHarness second;
  EXPECT_NE(&first.Client(), &second.Client());
  EXPECT_NE(dynamic_cast<CTCPModbus*>(&first.Client()), nullptr);
  ASSERT_NE(first->LastErrorString(), nullptr);
  EXPECT_STREQ(first->LastErrorString(), "");
  EXPECT_EQ(FailureRecordOf(first.Client()), FailureRecord{});
  EXPECT_NE(first->LastErrorString(), second->LastErrorString());
}

TEST(FrontLifecycleTest, InitializeConnectsAndPrintsBothLines) {
  ClientHarness client;
  SERVE_OR_SKIP(client, {"127.0.1.1", 7, 502}, {Step::WaitForClientClose()});
  EXPECT_EQ(client.Printed(), ConnectedLines("127.0.1.1"));
  EXPECT_STREQ(client->LastErrorString(), "");
  EXPECT_EQ(FailureRecordOf(client.Client()), FailureRecord{});
  EXPECT_EQ(client.Object().ServerPort, 502);
  EXPECT_EQ(client.Object().ModbusClient.ServerPort, 502);
  EXPECT_EQ(client.Object().ModbusClient.ModuleId, 7);
  EXPECT_EQ(client.Object().ModbusClient.ServerIPAddr, "127.0.1.1");
  // Deleting the object closes the connection.
  EXPECT_EQ(client.Finish(), "");
  EXPECT_TRUE(client.Server().ClientClosed());
}

TEST(FrontLifecycleTest, TwoInstancesAreIndependent) {
  ClientHarness a;
  ClientHarness b;
  SERVE_OR_SKIP(a, {kAddress}, {Step::WaitForClientClose()});
  SERVE_OR_SKIP(b, {kAddress},
                {Step::Receive(12), Step::Send(ReadAnswer(3, {0x1234})),
                 Step::WaitForClientClose()});
  EXPECT_EQ(a.Finish(), "");
  EXPECT_TRUE(a.Server().ClientClosed());

  std::uint16_t value = 0;
  EXPECT_EQ(
      b.Run([&](TCPModbusIntf& c) { return c.ReadHoldRegs(0, &value, 1); }), 1);
  EXPECT_EQ(value, 0x1234);
  EXPECT_EQ(b.Finish(), "");
}

// A connect that fails closes the socket; the error text stays the last one
// while the operations report that there is no connection (the code says
// so).
TEST(FrontLifecycleTest, FailedConnectClosesTheSocketAndKeepsTheError) {
  struct Row {
    const char* local;
    const char* server;
    int error;
  };
  const int refused = PlatformError(111, 10061);
  const int invalid = PlatformError(22, 10022);
  const Row rows[] = {
      {"127.0.1.4", "127.0.1.4", refused},  // nothing listens there
      {kAddress, "not-an-address", invalid},
      {kAddress, "256.1.2.3", invalid},
      {kAddress, "", invalid},
      {kAddress, "1.2.3", invalid},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.server);
    ClientHarness client;
    EXPECT_EQ(client.Run([&](TCPModbusIntf& c) {
      return c.Initialize(3, row.local, 0, row.server);
    }),
              0);
    const std::string error =
        "WSASocket failed. connect Error(" + std::to_string(row.error) + ")";
    EXPECT_EQ(
        client.Printed(),
        "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=" +
            std::string(row.local) +
            ", LocalPort=0\n"
            "CTCPModbus::Initialize - Failed to Connect to Modbus Server (ServerIPAddr=" +
            row.server + ", ClientPort=0)\nError: " + error + "\n");
    EXPECT_EQ(std::string(client->LastErrorString()), error);
    EXPECT_EQ(FailureRecordOf(client.Client()),
              (FailureRecord{TCPModbusIntf::ErrorConnect, row.error}));
    EXPECT_EQ(client.Object().TcpSocket.SocketHandle, 0u);

    std::uint16_t values[2] = {0xaaaa, 0xbbbb};
    EXPECT_EQ(client.Run([&](TCPModbusIntf& c) {
      return c.ReadHoldRegs(0, values, 2);
    }),
              0);
    EXPECT_EQ(
        client.Printed(),
        "CTCPModbus::ReadHoldRegs: Not connected to Modbus Server yet.\n");
    EXPECT_EQ(values[0], 0xaaaa);
    EXPECT_EQ(std::string(client->LastErrorString()), error);
    EXPECT_EQ(FailureRecordOf(client.Client()),
              FailureRecord{TCPModbusIntf::ErrorNotConnected});
  }
}

TEST(FrontLifecycleTest, PortInUseFailsTheOpenAndKeepsLastErrorString) {
  // The fake server holds its port; the client tries to bind it too.
  FakeModbusServer server(kAddress, {});
  SKIP_UNLESS_LISTENING(server);
  const std::string port = std::to_string(server.Port());
  ClientHarness client;
  // A refused connect first (nothing listens on 127.0.1.7), so that there
  // is an error text to keep.
  ASSERT_EQ(client.Initialize({"127.0.1.7"}), 0);
  const std::string before = client->LastErrorString();
  ASSERT_NE(before, "");
  ASSERT_EQ(client->LastErrorCode(), TCPModbusIntf::ErrorConnect);

  EXPECT_EQ(client.Run([&](TCPModbusIntf& c) {
    return c.Initialize(2, kAddress, server.Port(), kAddress);
  }),
            0);
  EXPECT_EQ(
      client.Printed(),
      "CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.0.0.1, LocalPort=" +
          port + ". Error: WSASocket failed. bind Error(" +
          std::to_string(PlatformError(98, 10048)) + ")\n");
  EXPECT_EQ(std::string(client->LastErrorString()), before);
  EXPECT_EQ(
      FailureRecordOf(client.Client()),
      (FailureRecord{TCPModbusIntf::ErrorOpen, PlatformError(98, 10048)}));
  EXPECT_EQ(client.Object().TcpSocket.SocketHandle, 0u);
  EXPECT_EQ(server.Join(), "");
}

TEST(FrontLifecycleTest, InitializeAgainReconnectsWithTheSameLines) {
  struct Row {
    const char* what;
    bool closeFirst;
  };
  const Row rows[] = {
      {"on a live connection", false},
      {"after Close", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ClientHarness client;
    SERVE_OR_SKIP(client, {kAddress},
                  {Step::WaitForClientClose(), Step::Accept(),
                   Step::WaitForClientClose()});
    EXPECT_EQ(client.Printed(), ConnectedLines(kAddress));
    if (row.closeFirst) client->Close();
    EXPECT_EQ(client.Initialize({kAddress}), 1);
    EXPECT_EQ(client.Printed(), ConnectedLines(kAddress));
    // The first WaitForClientClose passes only if the old connection ended.
    EXPECT_EQ(client.Finish(), "");
    EXPECT_EQ(client.Server().Connections(), 2);
  }
}

TEST(FrontLifecycleTest, CloseTwicePrintsNothing) {
  ClientHarness client;
  // A new object: nothing to close, and the transport keeps its text.
  client.Run([](TCPModbusIntf& c) {
    c.Close();
    c.Close();
    return 0;
  });
  EXPECT_EQ(client.Printed(), "");
  EXPECT_EQ(client.Object().TcpSocket.SocketHandle, 0u);
  EXPECT_STREQ(client.Object().TcpSocket.ErrorText, "No Error");

  SERVE_OR_SKIP(client, {kAddress}, {Step::WaitForClientClose()});
  client.Run([](TCPModbusIntf& c) {
    c.Close();
    c.Close();
    return 0;
  });
  EXPECT_EQ(client.Printed(), "");
  EXPECT_EQ(client.Object().TcpSocket.SocketHandle, 0u);
  EXPECT_STREQ(client->LastErrorString(), "");
  EXPECT_EQ(FailureRecordOf(client.Client()), FailureRecord{});
  // Close alone ends the connection: the object is still alive here.
  EXPECT_EQ(client.Server().Join(), "");
  EXPECT_TRUE(client.Server().ClientClosed());
}

TEST(FrontLifecycleTest, OperationsReportNotConnected) {
  struct Row {
    const char* what;
    bool connectThenClose;
  };
  const Row states[] = {{"new object", false}, {"after Close", true}};
  for (const Row& state : states) {
    SCOPED_TRACE(state.what);
    ClientHarness client;
    if (state.connectThenClose) {
      SERVE_OR_SKIP(client, {kAddress}, {Step::WaitForClientClose()});
      client->Close();
      EXPECT_EQ(client.Server().Join(), "");
    }
    std::uint16_t values[2] = {0x1111, 0x2222};
    unsigned short single = 0x3333;
    client.Run([&](TCPModbusIntf& c) {
      EXPECT_EQ(c.ReadHoldRegs(1, values, 2), 0);
      EXPECT_EQ(c.ReadInputRegs(1, values, 2), 0);
      EXPECT_EQ(c.WriteSingleHoldReg(1, single), 0);
      EXPECT_EQ(c.WriteMultiHoldRegs(1, values, 2), 0);
      return 0;
    });
    EXPECT_EQ(
        client.Printed(),
        "CTCPModbus::ReadHoldRegs: Not connected to Modbus Server yet.\n"
        "CTCPModbus::ReadInputRegs: Not connected to Modbus Server yet.\n"
        "CTCPModbus::WriteSingleHoldReg: Not connected to Modbus Server yet. Please call Initialize() first.\n"
        "CTCPModbus::WriteMultiHoldRegs: Not connected to Modbus Server yet. Please call Initialize() first.\n");
    EXPECT_EQ(values[0], 0x1111);
    EXPECT_EQ(values[1], 0x2222);
    // The text stays as it was; the code says why.
    EXPECT_STREQ(client->LastErrorString(), "");
    EXPECT_EQ(FailureRecordOf(client.Client()),
              FailureRecord{TCPModbusIntf::ErrorNotConnected});
  }
}

}  // namespace
