// Helpers shared by the reliability tests: a client connected to a fake
// server, and quiet calls (the trace of an exchange goes to standard output
// and is not what these tests look at). Answers come from ModbusAnswers.h.
#ifndef TCPMODBUS_TESTS_RELIABILITY_RELIABILITYSUPPORT_H_
#define TCPMODBUS_TESTS_RELIABILITY_RELIABILITYSUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace reliability {

using testsupport::Bytes;
using testsupport::ExceptionAnswer;
using testsupport::ReadAnswer;
using testsupport::WriteAnswer;

// Runs `call` with standard output captured and dropped.
template <typename Call>
auto Quietly(Call call) -> decltype(call()) {
  testing::internal::CaptureStdout();
  auto result = call();
  testing::internal::GetCapturedStdout();
  return result;
}

// Connects a new client object (module `moduleId`) from `address`, port 0,
// to the fake server on `address`. Null when Initialize failed.
inline std::unique_ptr<TCPModbusIntf> ConnectClient(const std::string& address,
                                                    unsigned short moduleId) {
  std::unique_ptr<TCPModbusIntf> client(TCPModbusIntf::GetInstance());
  const int result = Quietly(
      [&] { return client->Initialize(moduleId, address, 0, address); });
  if (result != 1) {
    ADD_FAILURE() << "Initialize failed: " << client->LastErrorString();
    return nullptr;
  }
  return client;
}

}  // namespace reliability

#endif  // TCPMODBUS_TESTS_RELIABILITY_RELIABILITYSUPPORT_H_
