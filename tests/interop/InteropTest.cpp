// Interoperability with Modbus/TCP servers we did not write: our simulated
// module (libmodbus), a bare modbus_reply server (libmodbus) and the pymodbus
// server. Each test starts its server on an address of its own, waits for
// the server's "listening on" line, and stops it by its process id.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "ServerProcess.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::ModbusException;
using testsupport::ServerProcess;

constexpr int kRegisters = 200;
constexpr unsigned short kModule = 4;

struct Peer {
  const char* name;
  // Third byte of this peer's addresses: 127.0.<block>.<test>.
  int block;
  // The command line, given the address to listen on.
  std::vector<std::string> (*command)(const std::string& address);
  // Input register i reads as i plus a tick that moves (the simulated
  // module), or as 1000 + i.
  bool movingInputs;
  // What a write of 124 registers (a 261-byte request) meets.
  enum class Write124 { Taken, Exception3, Closed } write124;
  // Its VendorName object; null: it refuses identification and the
  // diagnostics echo with exception 1.
  const char* vendorName;
};

// Test names and messages show the peer by its name.
void PrintTo(const Peer& peer, std::ostream* out) { *out << peer.name; }

std::vector<std::string> SimulatorCommand(const std::string& address) {
  return {TCPMODBUS_SIM_PATH,
          "--address",
          address,
          "--port",
          "502",
          "--registers",
          std::to_string(kRegisters),
          "--quiet"};
}

std::vector<std::string> ReplyServerCommand(const std::string& address) {
  return {TCPMODBUS_REPLY_SERVER_PATH, address, "502",
          std::to_string(kRegisters)};
}

std::vector<std::string> PymodbusCommand(const std::string& address) {
  return {TCPMODBUS_PYTHON, TCPMODBUS_PYMODBUS_SERVER, address, "502",
          std::to_string(kRegisters)};
}

const Peer kPeers[] = {
    {"SimulatedModule", 20, SimulatorCommand, true, Peer::Write124::Taken,
     "tcpmodbus"},
    // libmodbus refuses any request longer than 260 bytes before
    // modbus_reply sees it; the server then drops the connection.
    {"LibmodbusReply", 21, ReplyServerCommand, false, Peer::Write124::Closed,
     nullptr},
    // pymodbus answers the standard's limit of 123 registers per write.
    {"Pymodbus", 22, PymodbusCommand, false, Peer::Write124::Exception3,
     "pymodbus"},
};

class InteropTest : public testing::TestWithParam<Peer> {
 protected:
  void TearDown() override {
    harness_.Finish();
    if (server_.Running()) {
      EXPECT_EQ(server_.Stop(), 0) << "exit status of the server";
    }
  }

  int Initialize() { return harness_.Initialize({address_, kModule, 502}); }
  int ReadHolding(unsigned short start, std::vector<std::uint16_t>* values) {
    return harness_.Run([&](TCPModbusIntf& c) {
      return c.ReadHoldRegs(start, values->data(),
                            static_cast<unsigned short>(values->size()));
    });
  }
  int WriteSeveral(unsigned short start, std::vector<std::uint16_t> values) {
    return harness_.Run([&](TCPModbusIntf& c) {
      return c.WriteMultiHoldRegs(start, values.data(),
                                  static_cast<unsigned short>(values.size()));
    });
  }

  std::string address_;
  ServerProcess server_;
  ClientHarness harness_;
};

// Starts the peer on 127.0.<block>.<test> and connects the client to it.
#define START_OR_SKIP(test)                                                \
  do {                                                                     \
    address_ = "127.0." + std::to_string(GetParam().block) + "." +         \
               std::to_string(test);                                       \
    START_SERVER_OR_SKIP(server_, address_, GetParam().command(address_)); \
    ASSERT_EQ(Initialize(), 1) << harness_->LastErrorString();             \
  } while (0)

std::vector<std::uint16_t> Pattern(std::size_t count, std::uint16_t seed) {
  std::vector<std::uint16_t> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = static_cast<std::uint16_t>(seed + 0x0101 * i);
  }
  return values;
}

TEST_P(InteropTest, AllFourOperationsWithValuesReadBack) {
  START_OR_SKIP(1);
  unsigned short single = 0xbeef;
  EXPECT_EQ(harness_.Run([&](TCPModbusIntf& c) {
    return c.WriteSingleHoldReg(5, single);
  }),
            1)
      << harness_->LastErrorString();
  std::vector<std::uint16_t> one = {0};
  EXPECT_EQ(ReadHolding(5, &one), 1) << harness_->LastErrorString();
  EXPECT_EQ(one[0], 0xbeef);

  const std::vector<std::uint16_t> written = {1, 0x8000, 0xffff, 42};
  EXPECT_EQ(WriteSeveral(10, written), 1) << harness_->LastErrorString();
  std::vector<std::uint16_t> back(4);
  EXPECT_EQ(ReadHolding(10, &back), 1) << harness_->LastErrorString();
  EXPECT_EQ(back, written);

  std::vector<std::uint16_t> inputs(4);
  EXPECT_EQ(harness_.Run([&](TCPModbusIntf& c) {
    return c.ReadInputRegs(20, inputs.data(), 4);
  }),
            1)
      << harness_->LastErrorString();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE("input register " + std::to_string(20 + i));
    if (GetParam().movingInputs) {
      EXPECT_EQ(inputs[i] - inputs[0], static_cast<int>(i));
    } else {
      EXPECT_EQ(inputs[i], 1020 + i);
    }
  }
  EXPECT_STREQ(harness_->LastErrorString(), "");
  EXPECT_EQ(FailureRecordOf(harness_.Client()), FailureRecord{});
}

// Coils, discrete inputs, a mask write and a read/write, with values read
// back; discrete input 16k + b is bit b of input register k.
TEST_P(InteropTest, PointOperationsWithValuesReadBack) {
  START_OR_SKIP(5);
  auto ok = [&](std::function<int(TCPModbusIntf&)> call) {
    EXPECT_EQ(harness_.Run(call), 1) << harness_->LastErrorString();
  };
  std::vector<unsigned char> coils(37);
  for (std::size_t i = 0; i < coils.size(); ++i) coils[i] = i % 3 == 0 ? 5 : 0;
  ok([&](TCPModbusIntf& c) {
    return c.WriteMultiCoils(100, coils.data(), 37);
  });
  ok([&](TCPModbusIntf& c) { return c.WriteSingleCoil(101, true); });
  std::vector<unsigned char> back(37, 0x77);
  ok([&](TCPModbusIntf& c) { return c.ReadCoils(100, back.data(), 37); });
  for (std::size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i], i % 3 == 0 || i == 1 ? 1 : 0) << "coil " << 100 + i;
  }

  unsigned char inputs[32];
  ok([&](TCPModbusIntf& c) { return c.ReadDiscreteInputs(48, inputs, 32); });
  unsigned groups[2] = {0, 0};
  for (int i = 0; i < 32; ++i)
    groups[i / 16] |= unsigned{inputs[i]} << (i % 16);
  if (GetParam().movingInputs) {
    EXPECT_EQ(groups[1] - groups[0], 1u);
  } else {
    EXPECT_EQ(groups[0], 1003u);
    EXPECT_EQ(groups[1], 1004u);
  }

  unsigned short value = 0x1234;
  ok([&](TCPModbusIntf& c) { return c.WriteSingleHoldReg(30, value); });
  ok([&](TCPModbusIntf& c) { return c.MaskWriteHoldReg(30, 0x00f2, 0x0025); });
  std::vector<std::uint16_t> masked(1);
  EXPECT_EQ(ReadHolding(30, &masked), 1);
  EXPECT_EQ(masked[0], 0x0035);  // (0x1234 AND 0xf2) OR (0x25 AND NOT 0xf2)

  const std::uint16_t written[3] = {7, 8, 9};
  std::uint16_t read[3] = {0, 0, 0};
  ok([&](TCPModbusIntf& c) {
    return c.ReadWriteMultiHoldRegs(40, read, 3, 40, written, 3);
  });
  EXPECT_EQ(std::vector<std::uint16_t>(read, read + 3),
            std::vector<std::uint16_t>(written, written + 3));
  EXPECT_STREQ(harness_->LastErrorString(), "");
}

TEST_P(InteropTest, AddressPastTheTableGivesException2) {
  START_OR_SKIP(2);
  std::vector<std::uint16_t> values = {0x5555, 0x6666};
  unsigned short single = 1;
  unsigned char bits[2] = {1, 0};
  struct Row {
    const char* name;
    std::function<int()> call;
  };
  const std::vector<Row> rows = {
      {"CMBusTCP::MbReadHoldingRegs",
       [&] { return harness_->ReadHoldRegs(kRegisters, values.data(), 1); }},
      {"CMBusTCP::MbReadInputRegs",
       [&] { return harness_->ReadInputRegs(kRegisters, values.data(), 1); }},
      {"CMBusTCP::MbPresetSingleReg",
       [&] { return harness_->WriteSingleHoldReg(kRegisters, single); }},
      {"CMBusTCP::MbPresetMultipleRegs",
       [&] {
         return harness_->WriteMultiHoldRegs(kRegisters - 1, values.data(), 2);
       }},
      {"CMBusTCP::MbReadCoilStatus",
       [&] { return harness_->ReadCoils(kRegisters, bits, 1); }},
      {"CMBusTCP::MbReadInputStatus",
       [&] { return harness_->ReadDiscreteInputs(kRegisters - 1, bits, 2); }},
      {"CMBusTCP::MbForceSingleCoil",
       [&] { return harness_->WriteSingleCoil(kRegisters, true); }},
      {"CMBusTCP::MbForceMultipleCoils",
       [&] { return harness_->WriteMultiCoils(kRegisters - 1, bits, 2); }},
      {"CMBusTCP::MbMaskWriteReg",
       [&] { return harness_->MaskWriteHoldReg(kRegisters, 0, 0); }},
      {"CMBusTCP::MbReadWriteMultipleRegs",
       [&] {
         return harness_->ReadWriteMultiHoldRegs(kRegisters, values.data(), 1,
                                                 0, values.data(), 1);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(harness_.Run([&](TCPModbusIntf&) { return row.call(); }), 0);
    EXPECT_EQ(
        harness_->LastErrorString(),
        std::string(row.name) +
            ": MODBUS exception response on DIO Module 4 - Code=2, \"Unallowable or invalid data address received in the query for the slave\"");
    EXPECT_EQ(FailureRecordOf(harness_.Client()), ModbusException(2));
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x5555, 0x6666}));
  }
}

TEST_P(InteropTest, LargestReadOf125Registers) {
  START_OR_SKIP(3);
  const std::vector<std::uint16_t> written = Pattern(125, 0x1001);
  // 123 registers is the largest write every peer takes.
  ASSERT_EQ(WriteSeveral(0, std::vector<std::uint16_t>(written.begin(),
                                                       written.begin() + 123)),
            1)
      << harness_->LastErrorString();
  ASSERT_EQ(WriteSeveral(123, {written[123], written[124]}), 1)
      << harness_->LastErrorString();
  std::vector<std::uint16_t> back(125);
  EXPECT_EQ(ReadHolding(0, &back), 1) << harness_->LastErrorString();
  EXPECT_EQ(back, written);

  std::vector<std::uint16_t> inputs(125);
  EXPECT_EQ(harness_.Run([&](TCPModbusIntf& c) {
    return c.ReadInputRegs(0, inputs.data(), 125);
  }),
            1)
      << harness_->LastErrorString();
  EXPECT_EQ(inputs[124] - inputs[0], 124);
}

TEST_P(InteropTest, LargestWriteOf124Registers) {
  START_OR_SKIP(4);
  const std::vector<std::uint16_t> written = Pattern(124, 0x2002);
  const int result = WriteSeveral(50, written);
  std::vector<std::uint16_t> back(124);
  switch (GetParam().write124) {
    case Peer::Write124::Taken:
      EXPECT_EQ(result, 1) << harness_->LastErrorString();
      EXPECT_EQ(ReadHolding(50, &back), 1) << harness_->LastErrorString();
      EXPECT_EQ(back, written);
      return;
    case Peer::Write124::Exception3:
      EXPECT_EQ(result, 0);
      EXPECT_STREQ(
          harness_->LastErrorString(),
          "CMBusTCP::MbPresetMultipleRegs: MODBUS exception response on DIO Module 4 - Code=3, \"Unallowable or invalid value contained in the query data field for the slave\"");
      EXPECT_EQ(FailureRecordOf(harness_.Client()), ModbusException(3));
      break;
    case Peer::Write124::Closed:
      EXPECT_EQ(result, 0);
      EXPECT_STREQ(
          harness_->LastErrorString(),
          "CMBusTCP::MbPresetMultipleRegs: Unexpected close of connection on DIO Module 4");
      EXPECT_EQ(FailureRecordOf(harness_.Client()),
                FailureRecord{TCPModbusIntf::ErrorClosed});
      ASSERT_EQ(Initialize(), 1) << harness_->LastErrorString();
      break;
  }
  // Nothing of the refused write was stored.
  EXPECT_EQ(ReadHolding(50, &back), 1) << harness_->LastErrorString();
  EXPECT_EQ(back, std::vector<std::uint16_t>(124, 0));
}

// The basic objects, VendorName first, and the diagnostics echo, with
// transaction identifiers off and on; or exception 1 from a peer that has
// neither.
TEST_P(InteropTest, DeviceIdentificationAndTheEcho) {
  START_OR_SKIP(6);
  const std::string vendor = GetParam().vendorName ? GetParam().vendorName : "";
  const unsigned char echo[] = {8, 0, 0, 0x5a, 0xa5};  // and its answer
  harness_->SetTraceSink(nullptr, nullptr);
  for (const bool ids : {false, true}) {
    SCOPED_TRACE(ids ? "transaction identifiers on" : "off");
    harness_->SetTransactionIds(ids);
    unsigned char bytes[TCPMODBUS_MAX_IDENT_RECORDS] = {};
    std::size_t length = 0;
    const int identified = harness_->ReadDeviceIdentification(
        TCPMODBUS_IDENT_BASIC, 0, bytes, sizeof bytes, &length, nullptr);
    const std::string first(reinterpret_cast<char*>(bytes), 2 + vendor.size());
    const int echoed =
        harness_->RawRequest(8, echo + 1, 4, bytes, sizeof bytes, &length);
    if (vendor.empty()) {
      EXPECT_EQ(identified + echoed, 0);
      EXPECT_EQ(FailureRecordOf(harness_.Client()), ModbusException(1));
      continue;
    }
    EXPECT_EQ(identified, 1);
    EXPECT_EQ(first, std::string(1, '\0') + char(vendor.size()) + vendor);
    ASSERT_EQ(echoed, 1) << harness_->LastFailureText();
    EXPECT_EQ(std::string(bytes, bytes + length), std::string(echo, echo + 5));
  }
}

INSTANTIATE_TEST_SUITE_P(Peers, InteropTest, testing::ValuesIn(kPeers),
                         [](const testing::TestParamInfo<Peer>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
