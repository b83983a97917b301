// Connection lifecycle of the interface object: Initialize, Close,
// LastErrorString and destruction, against the scripted fake server.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeModbusServer.h"
#include "PlatformError.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::FakeModbusServer;
using testsupport::Step;

std::unique_ptr<TCPModbusIntf> NewClient() {
  return std::unique_ptr<TCPModbusIntf>(TCPModbusIntf::GetInstance());
}

TEST(FrontLifecycleTest, InitializeConnectsAndPrintsBothLines) {
  FakeModbusServer server("127.0.1.1", {Step::WaitForClientClose()});
  if (!server.Listening()) GTEST_SKIP() << server.BindError();
  auto client = NewClient();
  testing::internal::CaptureStdout();
  const int result = client->Initialize(7, "127.0.1.1", 0, "127.0.1.1");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out,
            "CTCPModbus::Initialize: Succeed to open TCP socket. "
            "LocalIpAddr=127.0.1.1, LocalPort=0\n"
            "CTCPModbus::Initialize: Succeed to connect to Modbus/TCP "
            "Server\n");
  client.reset();
  EXPECT_EQ(server.Join(), "");
  EXPECT_TRUE(server.ClientClosed());
}

}  // namespace
