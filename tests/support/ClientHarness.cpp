#include "ClientHarness.h"

#include "SkipUnlessListening.h"
#include "front/CTCPModbus.h"

namespace testsupport {

ClientHarness::ClientHarness() : client_(TCPModbusIntf::GetInstance()) {}

ClientHarness::ClientHarness(tcpmodbus::SocketCalls& calls)
    : client_(new tcpmodbus::CTCPModbus(calls)) {}

ClientHarness::~ClientHarness() { client_.reset(); }

ClientHarness::Started ClientHarness::Serve(const Endpoint& endpoint,
                                            std::vector<Step> script,
                                            FakeModbusServer::Options options) {
  if (!Listen(endpoint, std::move(script), options)) return Started::kSkipped;
  if (Initialize(endpoint) != 1) {
    ADD_FAILURE() << "Initialize failed: " << client_->LastErrorString();
    return Started::kFailed;
  }
  return Started::kConnected;
}

bool ClientHarness::Listen(const Endpoint& endpoint, std::vector<Step> script,
                           FakeModbusServer::Options options) {
  options.port = endpoint.port;
  // A new client object for the new server, which must outlive it.
  client_.reset();
  server_.reset(
      new FakeModbusServer(endpoint.address, std::move(script), options));
  client_.reset(TCPModbusIntf::GetInstance());
  if (server_->Listening()) return true;
  skipReason_ = NotListeningReason(*server_);
  return false;
}

int ClientHarness::Initialize(const Endpoint& endpoint) {
  const unsigned short port =
      endpoint.port == 0 && server_ ? server_->Port() : endpoint.port;
  // 502 is the default: the conformance tests leave the option alone.
  if (port != 0 && port != 502) client_->SetServerPort(port);
  return Run([&](TCPModbusIntf& client) {
    return client.Initialize(endpoint.moduleId, endpoint.address, 0,
                             endpoint.address);
  });
}

tcpmodbus::CTCPModbus& ClientHarness::Object() {
  return dynamic_cast<tcpmodbus::CTCPModbus&>(*client_);
}

std::string ClientHarness::Finish() {
  client_.reset();
  return server_ ? server_->Join() : std::string();
}

}  // namespace testsupport
