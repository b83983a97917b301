// End to end: the library's four register operations against the simulated
// DIO module (tcpmodbus-sim, a libmodbus server started as a child process),
// and what the module itself does: its ticking input registers, its log, its
// table size and its stop.
//
// Each test starts its own module on its own loopback address, port 502,
// and stops it by process id at the end, expecting a clean exit.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "ServerProcess.h"
#include "tcpmodbus/TCPModbusIntf.h"
#include "tcpmodbus/Values.h"

namespace {

using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::ServerProcess;

std::vector<unsigned short> Sequence(unsigned short first, std::size_t count) {
  std::vector<unsigned short> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = static_cast<unsigned short>(first + 0x0101 * i);
  }
  return values;
}

std::vector<std::string> Module(const std::string& address,
                                std::vector<std::string> extra = {}) {
  std::vector<std::string> command = {TCPMODBUS_SIM_PATH, "--address", address};
  command.insert(command.end(), extra.begin(), extra.end());
  return command;
}

// Starts a module on `address` with `command` (skipping when port 502 is out
// of reach) and connects the fixture's client to it.
#define START_AND_CONNECT(address, ...)                 \
  do {                                                  \
    START_SERVER_OR_SKIP(sim_, address, __VA_ARGS__);   \
    ASSERT_EQ(client_.Initialize({address, 1, 502}), 1) \
        << client_->LastErrorString();                  \
  } while (0)

class SimulatedModuleTest : public testing::Test {
 protected:
  void TearDown() override {
    client_.Finish();
    if (sim_.Running()) {
      EXPECT_EQ(sim_.Stop(), 0) << "module log:\n" << sim_.Log();
    }
  }

  // Stops the module (after the client has gone) and returns its log.
  std::string StopAndLog() {
    client_.Finish();  // the module logs the disconnection last
    EXPECT_EQ(sim_.Stop(), 0);
    return sim_.Log();
  }

  ServerProcess sim_;
  ClientHarness client_;
};

TEST_F(SimulatedModuleTest, WritesReadBackAndTouchOnlyTheirRegisters) {
  START_AND_CONNECT("127.0.51.1", Module("127.0.51.1"));
  struct Row {
    const char* what;
    unsigned short start;
    std::vector<unsigned short> values;
  };
  const Row rows[] = {
      {"single 0x1234", 100, {0x1234}},
      {"single 0", 100, {0x0000}},
      {"single 0x8000", 100, {0x8000}},
      {"single 0xffff", 100, {0xffff}},
      {"five registers", 500, {1, 0x0203, 40000, 0xffff, 0}},
      // 123 is the standard's limit; 124 fills the whole request buffer.
      {"123 registers", 601, Sequence(123, 123)},
      {"124 registers", 301, Sequence(124, 124)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<unsigned short> values = row.values;
    const auto count = static_cast<unsigned short>(values.size());
    ASSERT_EQ(count == 1 ? client_->WriteSingleHoldReg(row.start, values[0])
                         : client_->WriteMultiHoldRegs(row.start, values.data(),
                                                       count),
              1)
        << client_->LastErrorString();
    std::vector<unsigned short> read(count, 0x5a5a);
    ASSERT_EQ(client_->ReadHoldRegs(row.start, read.data(), count), 1)
        << client_->LastErrorString();
    EXPECT_EQ(read, row.values);
    // The registers on either side: the write touched only its own.
    for (const unsigned short neighbour :
         {static_cast<unsigned short>(row.start - 1),
          static_cast<unsigned short>(row.start + count)}) {
      unsigned short value = 0x5a5a;
      ASSERT_EQ(client_->ReadHoldRegs(neighbour, &value, 1), 1);
      EXPECT_EQ(value, 0) << "register " << neighbour;
    }
  }
}

TEST_F(SimulatedModuleTest, InputRegistersMoveBetweenReads) {
  START_AND_CONNECT("127.0.51.3", Module("127.0.51.3"));
  std::vector<unsigned short> first(3), second(3);
  ASSERT_EQ(client_->ReadInputRegs(10, first.data(), 3), 1)
      << client_->LastErrorString();
  ASSERT_EQ(client_->ReadInputRegs(10, second.data(), 3), 1)
      << client_->LastErrorString();
  // The module shows address + tick, the tick counting requests.
  EXPECT_EQ(first[1], first[0] + 1);
  EXPECT_EQ(first[2], first[0] + 1 + 1);
  EXPECT_EQ(second[0], first[0] + 1);
}

TEST_F(SimulatedModuleTest, AddressesPastTheTablesAnswerException2) {
  START_AND_CONNECT("127.0.51.4", Module("127.0.51.4"));
  unsigned short values[2] = {7, 8};
  std::vector<unsigned short> largest = Sequence(1, 124);
  struct Row {
    const char* operation;
    std::function<int()> call;
  };
  const std::vector<Row> rows = {
      {"CMBusTCP::MbReadHoldingRegs",
       [&] { return client_->ReadHoldRegs(999, values, 2); }},
      {"CMBusTCP::MbReadInputRegs",
       [&] { return client_->ReadInputRegs(1000, values, 1); }},
      {"CMBusTCP::MbPresetSingleReg",
       [&] { return client_->WriteSingleHoldReg(1000, values[0]); }},
      {"CMBusTCP::MbPresetMultipleRegs",
       [&] { return client_->WriteMultiHoldRegs(999, values, 2); }},
      {"CMBusTCP::MbPresetMultipleRegs",
       [&] { return client_->WriteMultiHoldRegs(900, largest.data(), 124); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.operation);
    EXPECT_EQ(row.call(), 0);
    EXPECT_EQ(
        client_->LastErrorString(),
        std::string(row.operation) +
            ": MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\"");
    EXPECT_EQ(FailureRecordOf(client_.Client()),
              testsupport::ModbusException(2));
  }
  // Refused writes changed nothing, and the connection still serves.
  unsigned short last = 0x5a5a;
  ASSERT_EQ(client_->ReadHoldRegs(999, &last, 1), 1);
  EXPECT_EQ(last, 0);
}

TEST_F(SimulatedModuleTest, LargestReadReturns125Registers) {
  START_AND_CONNECT("127.0.51.5", Module("127.0.51.5"));
  const std::vector<unsigned short> values = Sequence(0x0100, 123);
  std::vector<unsigned short> toWrite = values;
  ASSERT_EQ(client_->WriteMultiHoldRegs(0, toWrite.data(), 123), 1);
  unsigned short tail[2] = {0xaaaa, 0xbbbb};
  ASSERT_EQ(client_->WriteMultiHoldRegs(123, tail, 2), 1);

  std::vector<unsigned short> read(125, 0x5a5a);
  ASSERT_EQ(client_->ReadHoldRegs(0, read.data(), 125), 1)
      << client_->LastErrorString();
  std::vector<unsigned short> expected = values;
  expected.push_back(0xaaaa);
  expected.push_back(0xbbbb);
  EXPECT_EQ(read, expected);
}

TEST_F(SimulatedModuleTest, ServesTwoClientsAtOnce) {
  START_AND_CONNECT("127.0.51.8", Module("127.0.51.8"));
  ClientHarness second;
  ASSERT_EQ(second.Initialize({"127.0.51.8", 2, 502}), 1);
  unsigned short a = 111, b = 222;
  ASSERT_EQ(client_->WriteSingleHoldReg(1, a), 1);
  ASSERT_EQ(second->WriteSingleHoldReg(2, b), 1);
  unsigned short seenByFirst[2] = {0, 0}, seenBySecond[2] = {0, 0};
  ASSERT_EQ(second->ReadHoldRegs(1, seenBySecond, 2), 1);
  ASSERT_EQ(client_->ReadHoldRegs(1, seenByFirst, 2), 1);
  EXPECT_EQ(seenByFirst[0], 111);
  EXPECT_EQ(seenByFirst[1], 222);
  EXPECT_EQ(seenBySecond[0], 111);
  EXPECT_EQ(seenBySecond[1], 222);
}

TEST_F(SimulatedModuleTest, LogsOneLinePerRequest) {
  START_AND_CONNECT("127.0.51.9", Module("127.0.51.9"));
  unsigned short value = 4660;
  unsigned short values[3] = {1, 2, 3};
  ASSERT_EQ(client_->WriteSingleHoldReg(40, value), 1);
  ASSERT_EQ(client_->WriteMultiHoldRegs(41, values, 3), 1);
  ASSERT_EQ(client_->ReadHoldRegs(40, values, 3), 1);
  ASSERT_EQ(client_->ReadInputRegs(7, values, 2), 1);
  const std::string log = StopAndLog();
  for (const char* line :
       {"fc=6 addr=40 value=4660\n", "fc=16 addr=41 count=3\n",
        "fc=3 addr=40 count=3\n", "fc=4 addr=7 count=2\n"}) {
    SCOPED_TRACE(line);
    EXPECT_NE(log.find(line), std::string::npos) << log;
  }
}

TEST_F(SimulatedModuleTest, QuietModuleLogsNoRequests) {
  START_AND_CONNECT("127.0.51.10", Module("127.0.51.10", {"--quiet"}));
  unsigned short value = 0;
  ASSERT_EQ(client_->ReadHoldRegs(0, &value, 1), 1);
  const std::string log = StopAndLog();
  EXPECT_EQ(log.find("fc="), std::string::npos) << log;
}

TEST_F(SimulatedModuleTest, ConfiguredTableSizeMovesTheException) {
  START_AND_CONNECT("127.0.51.11",
                    Module("127.0.51.11", {"--registers", "10"}));
  unsigned short values[10] = {};
  EXPECT_EQ(client_->ReadHoldRegs(0, values, 10), 1);
  EXPECT_EQ(client_->ReadInputRegs(9, values, 1), 1);
  EXPECT_EQ(client_->ReadHoldRegs(10, values, 1), 0);
  EXPECT_EQ(client_->ReadInputRegs(9, values, 2), 0);
}

TEST_F(SimulatedModuleTest, InterruptStopsWithStatus0WhileClientConnected) {
  START_AND_CONNECT("127.0.51.12", Module("127.0.51.12"));
  unsigned short value = 0;
  ASSERT_EQ(client_->ReadHoldRegs(0, &value, 1), 1);
  EXPECT_EQ(sim_.Stop(SIGINT), 0) << sim_.Log();
  EXPECT_NE(sim_.Log().find("stopped"), std::string::npos) << sim_.Log();
}

// Every type in every order written and read back through the module, the
// registers it holds then being what the codec makes of the value.
TEST_F(SimulatedModuleTest, TypedValuesRoundTripInEveryOrder) {
  START_AND_CONNECT("127.0.51.25", Module("127.0.51.25"));
  struct Row {
    const char* type;
    std::function<bool(const tcpmodbus::ValueFormat&)> roundTrip;
  };
  auto roundTrips = [this](auto value) {
    return [this, value](const tcpmodbus::ValueFormat& format) {
      decltype(value) read{};
      std::vector<unsigned short> expected(4), held(4);
      const auto count = static_cast<unsigned short>(ValueRegisters(format));
      return WriteValue(client_.Client(), 40, format, value) == 1 &&
             ReadValue(client_.Client(), tcpmodbus::Table::kHolding, 40, format,
                       &read) == 1 &&
             client_->ReadHoldRegs(40, held.data(), count) == 1 &&
             EncodeValue(format, value, expected.data()) && read == value &&
             held == expected;
    };
  };
  const Row rows[] = {
      {"u16", roundTrips(std::uint64_t{0xFFFE})},
      {"i16", roundTrips(std::int64_t{-32768})},
      {"u32", roundTrips(std::uint64_t{0xFEDCBA98})},
      {"i32", roundTrips(std::int64_t{-123456789})},
      {"u64", roundTrips(std::numeric_limits<std::uint64_t>::max())},
      {"i64", roundTrips(std::int64_t{-0x0102030405060708})},
      {"f32", roundTrips(-1.0f / 3)},
      {"f64", roundTrips(1.0 / 3)},
      {"string:4", roundTrips(std::string("PUMP 1"))},
  };
  for (const Row& row : rows) {
    for (const char* order : {"ABCD", "CDAB", "BADC", "DCBA"}) {
      SCOPED_TRACE(std::string(row.type) + " in " + order);
      tcpmodbus::ValueFormat format;
      ASSERT_TRUE(tcpmodbus::ParseValueFormat(row.type, order, &format));
      EXPECT_TRUE(row.roundTrip(format)) << client_->LastErrorString();
    }
  }
}

// Host names and IPv6, with the hosts file of with-hosts-file.sh, where
// localhost is ::1 and 127.0.0.1 (the look-up lists ::1 first): a module on
// both, then on 127.0.0.1 alone, where a name's first address refuses.
TEST_F(SimulatedModuleTest, NameLookupReachesItByNameAndIpv6) {
  if (std::getenv("TCPMODBUS_TEST_HOSTS_FILE") == nullptr) {
    GTEST_SKIP() << "needs its own hosts file: run through with-hosts-file.sh";
  }
  struct Row {
    const char* what;
    const char* module;  // where it listens
    bool lookUp;
    const char* local;
    const char* server;
    FailureRecord failure;
    const char* failureText;
  };
  const Row rows[] = {
      {"a name, from any address", "localhost", true, "", "localhost", {}, ""},
      {"IPv6, from an IPv6 address", "localhost", true, "::1", "::1", {}, ""},
      {"a name from IPv4: its IPv6 address passed over", "localhost", true,
       "127.0.0.1", "localhost", {}, ""},
      {"IPv6 from IPv4", "localhost", true, "127.0.0.1", "::1",
       {TCPModbusIntf::ErrorOpen},
       "CTCPModbus::Initialize - Failed to Open TCP socket. LocalIpAddr=127.0.0.1, LocalPort=0. Error: The local address '127.0.0.1' has no address of the server's family"},
      {"look-up off: a name", "localhost", false, "127.0.0.1", "localhost",
       {TCPModbusIntf::ErrorConnect, 22},
       "CMBusTCP::ConnectToServer: The address 'localhost' of DIO Module 1 is not dotted IPv4 text; a host name or an IPv6 address needs name look-up on (SetNameLookup(true))"},
      {"a name whose first address refuses", "127.0.0.1", true, "",
       "localhost", {}, ""},
  };
  std::string listening = rows[0].module;
  START_SERVER_OR_SKIP(sim_, listening, Module(listening));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (listening != row.module) {
      ASSERT_EQ(sim_.Stop(), 0);
      listening = row.module;
      ASSERT_EQ(sim_.Start(listening, Module(listening)), "");
    }
    ClientHarness client;
    const int connected = client.Run([&](TCPModbusIntf& c) {
      c.SetNameLookup(row.lookUp);
      return c.Initialize(1, row.local, 0, row.server);
    });
    EXPECT_EQ(FailureRecordOf(client.Client()), row.failure);
    EXPECT_EQ(std::string(client->LastFailureText()), row.failureText);
    if (row.failure.code != TCPModbusIntf::ErrorNone) {
      EXPECT_EQ(connected, 0);
      continue;
    }
    ASSERT_EQ(connected, 1);
    // The trace names the addresses as given.
    EXPECT_EQ(
        client.Printed(),
        "CTCPModbus::Initialize: Succeed to open TCP socket. LocalIpAddr=" +
            std::string(row.local) +
            ", LocalPort=0\nCTCPModbus::Initialize: Succeed to connect to Modbus/TCP Server\n");
    unsigned short value = 0x5a5a;
    EXPECT_EQ(client->ReadHoldRegs(0, &value, 1), 1)
        << client->LastErrorString();
    EXPECT_EQ(value, 0);
  }
}

// Objects read in every category and one at a time, one object an answer
// so that each stream follows "more follows": as records, each its id, its
// length and its bytes.
TEST_F(SimulatedModuleTest, DeviceIdentificationInEveryCategory) {
  START_AND_CONNECT(
      "127.0.51.26",
      Module("127.0.51.26", {"--ident", "VendorUrl=http://x", "--ident",
                             "0x80=serial 7", "--ident-per-answer", "1"}));
  const std::string objects[] = {
      std::string("\0\x09tcpmodbus", 11), std::string("\x01\x0dtcpmodbus-sim"),
      std::string("\x02\x03") + TCPMODBUS_SIM_REVISION,
      std::string("\x03\x08http://x"), std::string("\x80\x08serial 7")};
  struct Row {
    int code;
    unsigned char object;
    std::vector<int> read;  // the objects above it gives
  };
  const Row rows[] = {{TCPMODBUS_IDENT_BASIC, 0, {0, 1, 2}},
                      {TCPMODBUS_IDENT_REGULAR, 0, {0, 1, 2, 3}},
                      {TCPMODBUS_IDENT_EXTENDED, 2, {2, 3, 4}},
                      {TCPMODBUS_IDENT_ONE_OBJECT, 0x80, {4}}};
  for (const Row& row : rows) {
    SCOPED_TRACE("code " + std::to_string(row.code));
    std::string expected;
    for (int i : row.read) expected += objects[i];
    unsigned char records[TCPMODBUS_MAX_IDENT_RECORDS];
    std::size_t length = 0;
    ASSERT_EQ(
        client_->ReadDeviceIdentification(row.code, row.object, records,
                                          sizeof records, &length, nullptr),
        1)
        << client_->LastFailureText();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(records), length), expected);
  }
}

}  // namespace
