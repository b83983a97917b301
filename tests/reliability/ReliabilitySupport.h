// Helpers shared by the reliability tests: answers as a server sends them,
// a client connected to a fake server, and quiet calls (the trace of an
// exchange goes to standard output and is not what these tests look at).
#ifndef TCPMODBUS_TESTS_RELIABILITY_RELIABILITYSUPPORT_H_
#define TCPMODBUS_TESTS_RELIABILITY_RELIABILITYSUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeModbusServer.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace reliability {

using testsupport::Bytes;

// A read answer whose header length matches its size; unit 1.
inline Bytes ReadAnswer(std::uint8_t functionCode,
                        const std::vector<std::uint16_t>& values) {
  const std::size_t dataBytes = 2 * values.size();
  Bytes answer = {0,
                  0,
                  0,
                  0,
                  static_cast<std::uint8_t>((dataBytes + 3) >> 8),
                  static_cast<std::uint8_t>((dataBytes + 3) & 0xff),
                  1,
                  functionCode,
                  static_cast<std::uint8_t>(dataBytes & 0xff)};
  for (std::uint16_t value : values) {
    answer.push_back(static_cast<std::uint8_t>(value >> 8));
    answer.push_back(static_cast<std::uint8_t>(value & 0xff));
  }
  return answer;
}

// The 12-byte echo that answers a write of one or several registers.
inline Bytes WriteAnswer(std::uint8_t functionCode, std::uint16_t address,
                         std::uint16_t second) {
  return {0,
          0,
          0,
          0,
          0,
          6,
          1,
          functionCode,
          static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address & 0xff),
          static_cast<std::uint8_t>(second >> 8),
          static_cast<std::uint8_t>(second & 0xff)};
}

inline Bytes ExceptionAnswer(std::uint8_t functionCode, std::uint8_t code) {
  return {0,   0, 0, 0, 0, 3, 1, static_cast<std::uint8_t>(functionCode | 0x80),
          code};
}

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
