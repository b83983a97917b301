// The protocol client's guards that need no connection, the interface's own
// default bodies, and the names of the error codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "modbus/CMBusTCP.h"
#include "tcpmodbus/TCPModbusIntf.h"
#include "transport/CTcpSocket.h"

namespace {

using tcpmodbus::CMBusTCP;
using tcpmodbus::CTcpSocket;

// Guards that fail before anything is built, traced or sent.
TEST(CMBusTCPGuardTest, RefusesWithoutPrintingAnything) {
  struct Row {
    const char* what;
    bool withTransport;
    std::function<tcpmodbus::Status(CMBusTCP&)> call;
    std::string expected;
    int code;
  };
  constexpr int kNullSocket = TCPModbusIntf::ErrorNotConnected;
  constexpr int kNullValues = TCPModbusIntf::ErrorInvalidArgument;
  std::uint16_t values[2] = {0x1234, 0x5678};
  static std::uint8_t bits[2001];
  static std::uint16_t registers[126];
  const std::string range =
      " out of range for one request on DIO Module 42 (1 to ";
  const Row rows[] = {
      {"connect without transport", false,
       [](CMBusTCP& c) { return c.ConnectToServer(); },
       "CMBusTCP::ConnectToServer: Null socket (42)", kNullSocket},
      {"holding read, null values", true,
       [](CMBusTCP& c) { return c.MbReadHoldingRegs(0, 2, nullptr); },
       "CMBusTCP::MbReadHoldingRegs: Null register pointer on DIO Module 42",
       kNullValues},
      {"input read, null values", true,
       [](CMBusTCP& c) { return c.MbReadInputRegs(0, 2, nullptr); },
       "CMBusTCP::MbReadInputRegs: Null register pointer on DIO Module 42",
       kNullValues},
      {"multiple write, null values", true,
       [](CMBusTCP& c) { return c.MbPresetMultipleRegs(0, 2, nullptr); },
       "CMBusTCP::MbPresetMultipleRegs: Null register value pointer on DIO Module 42",
       kNullValues},
      {"holding read without transport", false,
       [&](CMBusTCP& c) { return c.MbReadHoldingRegs(0, 2, values); },
       "CMBusTCP::MbReadHoldingRegs: Null socket (42)", kNullSocket},
      {"input read without transport", false,
       [&](CMBusTCP& c) { return c.MbReadInputRegs(0, 2, values); },
       "CMBusTCP::MbReadInputRegs: Null socket (42)", kNullSocket},
      {"single write without transport", false,
       [](CMBusTCP& c) { return c.MbPresetSingleReg(0, 7); },
       "CMBusTCP::MbPresetSingleReg: Null socket (42)", kNullSocket},
      {"multiple write without transport", false,
       [&](CMBusTCP& c) { return c.MbPresetMultipleRegs(0, 2, values); },
       "CMBusTCP::MbPresetMultipleRegs: Null socket (42)", kNullSocket},
      {"coil read of none", true,
       [&](CMBusTCP& c) { return c.MbReadCoilStatus(0, 0, bits); },
       "CMBusTCP::MbReadCoilStatus: Quantity 0" + range + "2000)", kNullValues},
      {"discrete input read of 2001", true,
       [&](CMBusTCP& c) { return c.MbReadInputStatus(0, 2001, bits); },
       "CMBusTCP::MbReadInputStatus: Quantity 2001" + range + "2000)",
       kNullValues},
      {"coil write of 1969", true,
       [&](CMBusTCP& c) { return c.MbForceMultipleCoils(0, 1969, bits); },
       "CMBusTCP::MbForceMultipleCoils: Quantity 1969" + range + "1968)",
       kNullValues},
      {"read/write writing 122", true,
       [&](CMBusTCP& c) {
         return c.MbReadWriteMultipleRegs(0, 1, registers, 0, 122, registers);
       },
       "CMBusTCP::MbReadWriteMultipleRegs: Quantity 122" + range + "121)",
       kNullValues},
      {"read/write reading 126", true,
       [&](CMBusTCP& c) {
         return c.MbReadWriteMultipleRegs(0, 126, registers, 0, 1, registers);
       },
       "CMBusTCP::MbReadWriteMultipleRegs: Quantity 126" + range + "125)",
       kNullValues},
      {"coil read, null bits", true,
       [](CMBusTCP& c) { return c.MbReadCoilStatus(0, 1, nullptr); },
       "CMBusTCP::MbReadCoilStatus: Null value array on DIO Module 42",
       kNullValues},
      {"mask write without transport", false,
       [](CMBusTCP& c) { return c.MbMaskWriteReg(0, 1, 2); },
       "CMBusTCP::MbMaskWriteReg: Null socket (42)", kNullSocket},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CTcpSocket socket;  // never opened: a call that got past the guard
                        // would fail on the handle, with another message
    const tcpmodbus::TraceOutput trace(tcpmodbus::kDefaultOptions);
    tcpmodbus::ConnectionState connection;
    CMBusTCP client(tcpmodbus::kDefaultOptions, trace, connection);
    client.ModuleId = 42;
    if (row.withTransport) client.TcpSocket = &socket;
    testing::internal::CaptureStdout();
    const tcpmodbus::Status result = row.call(client);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.connectionLost());
    EXPECT_EQ(client.ErrorText, row.expected);
    EXPECT_EQ(static_cast<int>(client.LastFailure.failure.code), row.code);
    EXPECT_STREQ(client.LastFailure.text, client.ErrorText);
    EXPECT_STREQ(socket.ErrorText, "No Error");
  }
  EXPECT_EQ(values[0], 0x1234);
  EXPECT_EQ(values[1], 0x5678);
}

TEST(TCPModbusIntfDefaultsTest, BaseBodiesDoNothingAndSucceed) {
  TCPModbusIntf base;
  std::uint16_t values[3] = {1, 2, 3};
  unsigned short single = 9;
  testing::internal::CaptureStdout();
  EXPECT_EQ(base.Initialize(1, "127.0.1.20", 0, "127.0.1.20"), 1);
  EXPECT_EQ(base.ReadHoldRegs(0, values, 3), 1);
  EXPECT_EQ(base.ReadInputRegs(0, values, 3), 1);
  EXPECT_EQ(base.WriteSingleHoldReg(0, single), 1);
  EXPECT_EQ(base.WriteMultiHoldRegs(0, values, 3), 1);
  EXPECT_EQ(base.ReadHoldRegs(0, nullptr, 3), 1);
  base.Close();
  EXPECT_EQ(base.LastErrorString(), nullptr);
  EXPECT_EQ(base.LastErrorCode(), TCPModbusIntf::ErrorNone);
  EXPECT_EQ(base.LastSystemError(), 0);
  EXPECT_EQ(base.LastExceptionCode(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[2], 3);
  EXPECT_EQ(single, 9);

  // Copyable: the class has no data to copy.
  TCPModbusIntf copy(base);
  copy = base;
  EXPECT_EQ(copy.LastErrorString(), nullptr);
}

// The names are stable: hosts and scripts compare them.
TEST(TCPModbusIntfDefaultsTest, EveryErrorCodeHasItsName) {
  // Codes 0 to 16; -1 and 17 are unknown.
  const char* const names[] = {"NONE",
                               "NOT_CONNECTED",
                               "INVALID_ARGUMENT",
                               "OPEN",
                               "CONNECT",
                               "TIMEOUT",
                               "CLOSED",
                               "SEND",
                               "RECEIVE",
                               "TOO_SHORT",
                               "WRONG_SIZE",
                               "WRONG_ANSWER",
                               "MODBUS_EXCEPTION",
                               "NO_MEMORY",
                               "REENTERED",
                               "INTERNAL",
                               "CANCELLED"};
  for (int code = -1; code <= 17; ++code) {
    SCOPED_TRACE("code " + std::to_string(code));
    const bool known = code >= 0 && code <= TCPModbusIntf::ErrorCancelled;
    ASSERT_NE(TCPModbusIntf::ErrorName(code), nullptr);
    EXPECT_STREQ(TCPModbusIntf::ErrorName(code),
                 known ? names[code] : "UNKNOWN");
  }
}

}  // namespace
