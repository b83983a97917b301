// Connection lifecycle of the interface object: Initialize, Close,
// LastErrorString and destruction, against the scripted fake server.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "PlatformError.h"
#include "SkipUnlessListening.h"
#include "front/CTCPModbus.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::FakeModbusServer;
using testsupport::PlatformError;
using testsupport::ReadAnswer;
using testsupport::Step;

std::unique_ptr<TCPModbusIntf> NewClient() {
  return std::unique_ptr<TCPModbusIntf>(TCPModbusIntf::GetInstance());
}

CTCPModbus& Object(const std::unique_ptr<TCPModbusIntf>& client) {
  return dynamic_cast<CTCPModbus&>(*client);
}

int InitializeQuietly(TCPModbusIntf& client, const char* address) {
  testing::internal::CaptureStdout();
  const int result = client.Initialize(1, address, 0, address);
  testing::internal::GetCapturedStdout();
  return result;
}

std::string ConnectedLines(const std::string& address) {
  return "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=" +
         address +
         ", LocalPort=0\n"
         "CTCPModbus::Initialize: Succeed to connect to Modbus/TCP Server\n";
}

TEST(FrontLifecycleTest, InitializeConnectsAndPrintsBothLines) {
  FakeModbusServer server("127.0.1.1", {Step::WaitForClientClose()});
  SKIP_UNLESS_LISTENING(server);
  auto client = NewClient();
  testing::internal::CaptureStdout();
  const int result = client->Initialize(7, "127.0.1.1", 0, "127.0.1.1");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(
      out,
      "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=127.0.1.1, LocalPort=0\n"
      "CTCPModbus::Initialize: Succeed to connect to Modbus/TCP Server\n");
  EXPECT_STREQ(client->LastErrorString(), "");
  EXPECT_EQ(Object(client).ServerPort, 502);
  EXPECT_EQ(Object(client).ModbusClient.ServerPort, 502);
  EXPECT_EQ(Object(client).ModbusClient.ModuleId, 7);
  EXPECT_EQ(Object(client).ModbusClient.ServerIPAddr, "127.0.1.1");
  client.reset();  // deleting the object closes the connection
  EXPECT_EQ(server.Join(), "");
  EXPECT_TRUE(server.ClientClosed());
}

TEST(FrontLifecycleTest, TwoInstancesAreIndependent) {
  const Bytes read1Answer = ReadAnswer(3, {0x1234});
  FakeModbusServer serverA("127.0.1.2", {Step::WaitForClientClose()});
  FakeModbusServer serverB(
      "127.0.1.3",
      {Step::Receive(12), Step::Send(read1Answer), Step::WaitForClientClose()});
  SKIP_UNLESS_LISTENING(serverA);
  SKIP_UNLESS_LISTENING(serverB);
  auto a = NewClient();
  auto b = NewClient();
  ASSERT_NE(a.get(), b.get());
  ASSERT_EQ(InitializeQuietly(*a, "127.0.1.2"), 1);
  ASSERT_EQ(InitializeQuietly(*b, "127.0.1.3"), 1);

  a.reset();
  EXPECT_EQ(serverA.Join(), "");
  EXPECT_TRUE(serverA.ClientClosed());

  std::uint16_t value = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(b->ReadHoldRegs(0, &value, 1), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(value, 0x1234);
  b.reset();
  EXPECT_EQ(serverB.Join(), "");
}

TEST(FrontLifecycleTest, NewObjectHasEmptyErrorText) {
  auto client = NewClient();
  const char* text = client->LastErrorString();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
}

TEST(FrontLifecycleTest, RefusedConnectionClosesTheSocket) {
  // Nothing listens on 127.0.1.4.
  auto client = NewClient();
  testing::internal::CaptureStdout();
  const int result = client->Initialize(3, "127.0.1.4", 0, "127.0.1.4");
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string error = "WSASocket failed. connect Error(" +
                            std::to_string(PlatformError(111, 10061)) + ")";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(
      out,
      "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=127.0.1.4, LocalPort=0\n"
      "CTCPModbus::Initialize - Failed to Connect to Modbus Server (ServerIPAddr=127.0.1.4, ClientPort=0)\nError: " +
          error + "\n");
  EXPECT_EQ(std::string(client->LastErrorString()), error);
  EXPECT_EQ(Object(client).TcpSocket.SocketHandle, 0u);

  std::uint16_t values[2] = {0xaaaa, 0xbbbb};
  testing::internal::CaptureStdout();
  EXPECT_EQ(client->ReadHoldRegs(0, values, 2), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "CTCPModbus::ReadHoldRegs: Not connected to Modbus Server yet.\n");
  EXPECT_EQ(values[0], 0xaaaa);
  EXPECT_EQ(std::string(client->LastErrorString()), error);
}

TEST(FrontLifecycleTest, InvalidServerAddressFailsTheConnect) {
  const char* const texts[] = {"not-an-address", "256.1.2.3", "", "1.2.3"};
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    auto client = NewClient();
    testing::internal::CaptureStdout();
    const int result = client->Initialize(3, "127.0.1.5", 0, text);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string error = "WSASocket failed. connect Error(" +
                              std::to_string(PlatformError(22, 10022)) + ")";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(
        out,
        "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=127.0.1.5, LocalPort=0\n"
        "CTCPModbus::Initialize - Failed to Connect to Modbus Server (ServerIPAddr=" +
            std::string(text) + ", ClientPort=0)\nError: " + error + "\n");
    EXPECT_EQ(std::string(client->LastErrorString()), error);
    EXPECT_EQ(Object(client).TcpSocket.SocketHandle, 0u);
  }
}

TEST(FrontLifecycleTest, PortInUseFailsTheOpenAndKeepsLastErrorString) {
  // The fake server holds 127.0.1.6:502; the client tries to bind it too.
  FakeModbusServer server("127.0.1.6", {});
  SKIP_UNLESS_LISTENING(server);
  auto client = NewClient();
  // A refused connect first, so that there is an error text to keep.
  ASSERT_EQ(InitializeQuietly(*client, "127.0.1.7"), 0);
  const std::string before = client->LastErrorString();
  ASSERT_NE(before, "");

  testing::internal::CaptureStdout();
  const int result = client->Initialize(2, "127.0.1.6", 502, "127.0.1.6");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(
      out,
      "CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.0.1.6, LocalPort=502. Error: WSASocket failed. bind Error(" +
          std::to_string(PlatformError(98, 10048)) + ")\n");
  EXPECT_EQ(std::string(client->LastErrorString()), before);
  EXPECT_EQ(Object(client).TcpSocket.SocketHandle, 0u);
  EXPECT_EQ(server.Join(), "");
}

TEST(FrontLifecycleTest, InitializeAgainReconnectsWithTheSameLines) {
  struct Row {
    const char* what;
    const char* address;
    bool closeFirst;
  };
  const Row rows[] = {
      {"on a live connection", "127.0.1.8", false},
      {"after Close", "127.0.1.9", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeModbusServer server(row.address,
                            {Step::WaitForClientClose(), Step::Accept(),
                             Step::WaitForClientClose()});
    SKIP_UNLESS_LISTENING(server);
    auto client = NewClient();
    testing::internal::CaptureStdout();
    EXPECT_EQ(client->Initialize(1, row.address, 0, row.address), 1);
    const std::string first = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    if (row.closeFirst) client->Close();
    EXPECT_EQ(client->Initialize(1, row.address, 0, row.address), 1);
    const std::string second = testing::internal::GetCapturedStdout();
    EXPECT_EQ(first, ConnectedLines(row.address));
    EXPECT_EQ(second, first);
    client.reset();
    // The first WaitForClientClose passes only if the old connection ended.
    EXPECT_EQ(server.Join(), "");
    EXPECT_EQ(server.Connections(), 2);
  }
}

TEST(FrontLifecycleTest, CloseTwicePrintsNothing) {
  FakeModbusServer server("127.0.1.10", {Step::WaitForClientClose()});
  SKIP_UNLESS_LISTENING(server);
  auto client = NewClient();
  testing::internal::CaptureStdout();
  client->Close();  // a new object: nothing to close
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_EQ(InitializeQuietly(*client, "127.0.1.10"), 1);

  testing::internal::CaptureStdout();
  client->Close();
  client->Close();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(Object(client).TcpSocket.SocketHandle, 0u);
  EXPECT_STREQ(client->LastErrorString(), "");
  // Close alone ends the connection: the object is still alive here.
  EXPECT_EQ(server.Join(), "");
  EXPECT_TRUE(server.ClientClosed());
}

TEST(FrontLifecycleTest, OperationsReportNotConnected) {
  struct Row {
    const char* what;
    bool connectThenClose;
  };
  const Row states[] = {{"new object", false}, {"after Close", true}};
  for (const Row& state : states) {
    SCOPED_TRACE(state.what);
    std::unique_ptr<FakeModbusServer> server;
    auto client = NewClient();
    if (state.connectThenClose) {
      server.reset(
          new FakeModbusServer("127.0.1.11", {Step::WaitForClientClose()}));
      SKIP_UNLESS_LISTENING(*server);
      ASSERT_EQ(InitializeQuietly(*client, "127.0.1.11"), 1);
      client->Close();
      EXPECT_EQ(server->Join(), "");
    }
    std::uint16_t values[2] = {0x1111, 0x2222};
    unsigned short single = 0x3333;
    testing::internal::CaptureStdout();
    EXPECT_EQ(client->ReadHoldRegs(1, values, 2), 0);
    EXPECT_EQ(client->ReadInputRegs(1, values, 2), 0);
    EXPECT_EQ(client->WriteSingleHoldReg(1, single), 0);
    EXPECT_EQ(client->WriteMultiHoldRegs(1, values, 2), 0);
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "CTCPModbus::ReadHoldRegs: Not connected to Modbus Server yet.\n"
        "CTCPModbus::ReadInputRegs: Not connected to Modbus Server yet.\n"
        "CTCPModbus::WriteSingleHoldReg: Not connected to Modbus Server yet. Please call Initialize() first.\n"
        "CTCPModbus::WriteMultiHoldRegs: Not connected to Modbus Server yet. Please call Initialize() first.\n");
    EXPECT_EQ(values[0], 0x1111);
    EXPECT_EQ(values[1], 0x2222);
    EXPECT_STREQ(client->LastErrorString(), "");
  }
}

}  // namespace
