// How every test drives a client object of the library: a new object from
// GetInstance, its calls made with the console trace captured (the text is
// kept for the tests that compare it), and, for the front tests, the
// scripted fake server it is connected to.
//
//   ClientHarness harness;
//   SERVE_OR_SKIP(harness, {"127.0.0.1"},
//                 {Step::Receive(12), Step::Send(ReadAnswer(3, {42}))});
//   EXPECT_EQ(harness.Run([&](TCPModbusIntf& c) {
//     return c.ReadHoldRegs(0, values, 1);
//   }), 1);
//   EXPECT_EQ(harness.Printed(), "...");
//   EXPECT_EQ(harness.Finish(), "");  // the script's failures
//
// Where the client connects is an Endpoint: new connection settings are new
// fields there, applied in one place (ClientHarness::Initialize).
#ifndef TCPMODBUS_TESTS_SUPPORT_CLIENTHARNESS_H_
#define TCPMODBUS_TESTS_SUPPORT_CLIENTHARNESS_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeModbusServer.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace tcpmodbus {
class CTCPModbus;
class SocketCalls;
}  // namespace tcpmodbus

namespace testsupport {

// Runs `call` with standard output captured; what it printed goes to
// `*printed`, or is dropped when `printed` is null.
template <typename Call>
auto Captured(Call call, std::string* printed = nullptr) -> decltype(call()) {
  testing::internal::CaptureStdout();
  auto result = call();
  std::string text = testing::internal::GetCapturedStdout();
  if (printed != nullptr) *printed = std::move(text);
  return result;
}

// Where a client connects: the server's address, which is also the local
// address the client binds (port 0: any), the module number its messages
// name, and the server's port. Port 0 is the port the harness's fake server
// got from the system (without a server: the default); 502 is the default
// port, reached with the options untouched, which the conformance tests name
// themselves.
struct Endpoint {
  std::string address;
  unsigned short moduleId = 1;
  unsigned short port = 0;
};

class ClientHarness {
 public:
  enum class Started { kConnected, kSkipped, kFailed };

  ClientHarness();
  // A client whose transport makes its socket calls through `calls` (an
  // in-memory stand-in), which must outlive the harness; for Initialize and
  // Run without a fake server.
  explicit ClientHarness(tcpmodbus::SocketCalls& calls);
  ~ClientHarness();
  ClientHarness(const ClientHarness&) = delete;
  ClientHarness& operator=(const ClientHarness&) = delete;

  // Starts the fake server on `endpoint.address` with `script`, then
  // initializes a new client object to it. kSkipped when the server cannot
  // listen (SkipReason() says why); kFailed, with a test failure, when
  // Initialize failed.
  Started Serve(const Endpoint& endpoint, std::vector<Step> script,
                FakeModbusServer::Options options = {});
  // Starts the fake server and gives a new client object, not connected
  // yet: set its options, then Initialize. False when the server cannot
  // listen (SkipReason() says why).
  bool Listen(const Endpoint& endpoint, std::vector<Step> script,
              FakeModbusServer::Options options = {});
  // Initialize to whatever listens at `endpoint`; its trace in Printed().
  int Initialize(const Endpoint& endpoint);

  // Runs `call` on the client; what it printed is then Printed().
  template <typename Call>
  int Run(Call call) {
    return Captured([&] { return call(*client_); }, &printed_);
  }
  const std::string& Printed() const { return printed_; }

  TCPModbusIntf& Client() { return *client_; }
  TCPModbusIntf* operator->() { return client_.get(); }
  // The object behind the interface, for the tests that look inside.
  tcpmodbus::CTCPModbus& Object();
  FakeModbusServer& Server() { return *server_; }
  const std::string& SkipReason() const { return skipReason_; }

  // Deletes the client object (which closes its connection), then waits for
  // the script: "" when the server saw what it expected.
  std::string Finish();

 private:
  std::unique_ptr<FakeModbusServer> server_;  // outlives the client
  std::unique_ptr<TCPModbusIntf> client_;
  std::string printed_;
  std::string skipReason_;
};

}  // namespace testsupport

// Serves a script to a connected client (ClientHarness::Serve) or skips the
// test when port 502 is out of reach; fails it when the client cannot
// connect. Use it in the test body.
#define SERVE_OR_SKIP(harness, ...)                                       \
  do {                                                                    \
    const auto started_ = (harness).Serve(__VA_ARGS__);                   \
    if (started_ == testsupport::ClientHarness::Started::kSkipped) {      \
      GTEST_SKIP() << (harness).SkipReason();                             \
    }                                                                     \
    ASSERT_EQ(started_, testsupport::ClientHarness::Started::kConnected); \
  } while (0)

#endif  // TCPMODBUS_TESTS_SUPPORT_CLIENTHARNESS_H_
