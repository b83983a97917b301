// Typed reads and writes (Values.h) through the scripted fake server: one
// request of the type's width for each, function code 16 for values of
// several registers and 6 for u16 and i16; refused values fail before
// anything is sent or traced, with INVALID_ARGUMENT and a text that says
// why; an object of another library gets the register operations alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "FailureRecord.h"
#include "FakeModbusServer.h"
#include "ModbusAnswers.h"
#include "tcpmodbus/Values.h"

namespace {

using tcpmodbus::Table;
using tcpmodbus::ValueFormat;
using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
using testsupport::ReadAnswer;
using testsupport::Step;
using testsupport::ToHex;
using testsupport::WriteAnswer;
using Call = std::function<int(TCPModbusIntf&)>;

ValueFormat Format(const char* type, const char* order = "ABCD") {
  ValueFormat format;
  EXPECT_TRUE(tcpmodbus::ParseValueFormat(type, order, &format));
  return format;
}

template <typename T>
Call Read(Table table, unsigned short address, ValueFormat format, T* value) {
  return [=](TCPModbusIntf& c) {
    return ReadValue(c, table, address, format, value);
  };
}

template <typename T>
Call Write(unsigned short address, ValueFormat format, T value) {
  return
      [=](TCPModbusIntf& c) { return WriteValue(c, address, format, value); };
}

TEST(TypedOperationsTest, EachValueIsOneRequestOfItsWidth) {
  float f32 = 0;
  std::string text;
  struct Row {
    Call call;
    Bytes request;
    Bytes answer;
    std::function<bool()> delivered;
  };
  auto done = [] { return true; };
  const std::vector<Row> rows = {
      {Read(Table::kHolding, 100, Format("f32", "CDAB"), &f32),
       {0, 0, 0, 0, 0, 6, 1, 3, 0, 100, 0, 2},
       ReadAnswer(3, {0x2000, 0x47F1}),
       [&] { return f32 == 123456.0f; }},
      {Read(Table::kHolding, 1, Format("string:3", "BADC"), &text),
       {0, 0, 0, 0, 0, 6, 1, 3, 0, 1, 0, 3},
       ReadAnswer(3, {0x5550, 0x504D, 0x2031}),
       [&] { return text == "PUMP1"; }},
      {Write(200, Format("f32"), 123456.0f),
       {0, 0, 0, 0, 0, 0x0b, 1, 0x10, 0, 200, 0, 2, 4, 0x47, 0xF1, 0x20, 0},
       WriteAnswer(16, 200, 2),
       done},
      {Write(5, Format("i16"), std::int64_t{-2}),
       {0, 0, 0, 0, 0, 6, 1, 6, 0, 5, 0xFF, 0xFE},
       WriteAnswer(6, 5, 0xFFFE),
       done},
      {Write(0, Format("u64", "HGFEDCBA"), std::uint64_t{0x0102030405060708}),
       {0, 0, 0, 0, 0, 0x0f, 1, 0x10, 0, 0, 0, 4, 8, 8, 7, 6, 5, 4, 3, 2, 1},
       WriteAnswer(16, 0, 4),
       done},
      {Write(3, Format("string:1"), std::string("A")),  // 16, padded with NUL
       {0, 0, 0, 0, 0, 9, 1, 0x10, 0, 3, 0, 1, 2, 0x41, 0},
       WriteAnswer(16, 3, 1),
       done},
  };
  std::vector<Step> script;
  for (const Row& row : rows) {
    script.push_back(Step::Receive(row.request.size()));
    script.push_back(Step::Send(row.answer));
  }
  script.push_back(Step::WaitForClientClose());
  ClientHarness harness;
  SERVE_OR_SKIP(harness, {"127.0.0.1"}, script);
  for (const Row& row : rows) {
    SCOPED_TRACE(ToHex(row.request));
    EXPECT_EQ(harness.Run(row.call), 1) << harness->LastErrorString();
    EXPECT_TRUE(row.delivered());
  }
  EXPECT_EQ(harness.Finish(), "");
  const std::vector<Bytes> requests = harness.Server().Requests();
  ASSERT_EQ(requests.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(ToHex(requests[i]), ToHex(rows[i].request));
  }
}

TEST(TypedOperationsTest, RefusedValuesFailBeforeAnythingIsSent) {
  float value = 0;
  std::string text;
  const std::vector<std::pair<Call, const char*>> rows = {
      {Write(0, Format("i16"), std::int64_t{70000}),
       "tcpmodbus::WriteValue: 70000 is out of range for i16 (-32768 to 32767)"},
      {Write(0, Format("u32"), std::uint64_t{1} << 32),
       "tcpmodbus::WriteValue: 4294967296 is out of range for u32 (0 to 4294967295)"},
      {Write(0, Format("u32"), std::int64_t{1}),
       "tcpmodbus::WriteValue: Type u32 takes an unsigned integer, not a signed integer"},
      {Write(0, Format("string:2"), std::string("ABCDE")),
       "tcpmodbus::WriteValue: A text of 5 characters does not fit string:2 (at most 4)"},
      {Read(Table::kHolding, 0, ValueFormat{99, 0}, &value),
       "tcpmodbus::ReadValue: Unknown value type 99"},
      {Read(Table::kHolding, 0, ValueFormat{TCPMODBUS_TYPE_F32, 4}, &value),
       "tcpmodbus::ReadValue: Unknown byte order 4"},
      {Read(Table::kHolding, 0, ValueFormat{TCPMODBUS_TYPE_STRING, 0, 126},
            &text),
       "tcpmodbus::ReadValue: A string takes 1 to 125 registers, not 126"},
      {Read(static_cast<Table>(1), 0, Format("f32"), &value),
       "tcpmodbus::ReadValue: Unknown table 1"},
      {Read(Table::kInput, 0, Format("f32"), static_cast<float*>(nullptr)),
       "tcpmodbus::ReadValue: Null value pointer"},
  };
  ClientHarness harness;
  SERVE_OR_SKIP(harness, {"127.0.0.1"}, {Step::WaitForClientClose()});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.second);
    EXPECT_EQ(harness.Run(row.first), 0);
    EXPECT_STREQ(harness->LastFailureText(), row.second);
    // No exchange failed: the protocol client's text stays as it was.
    EXPECT_STREQ(harness->LastErrorString(), "");
    EXPECT_EQ(FailureRecordOf(harness.Client()),
              FailureRecord{TCPModbusIntf::ErrorInvalidArgument});
    EXPECT_EQ(harness.Printed(), "");
  }
  EXPECT_EQ(harness.Finish(), "");
  EXPECT_TRUE(harness.Server().Requests().empty());
}

// A host's own implementation of the interface: typed values run over its
// register operations and leave its failure record alone.
TEST(TypedOperationsTest, AnotherObjectGetsTheRegisterOperationsAlone) {
  struct Recorder : TCPModbusIntf {
    std::vector<unsigned short> written;
    int WriteMultiHoldRegs(unsigned short, unsigned short* values,
                           unsigned short count) override {
      written.assign(values, values + count);
      return 1;
    }
  } host;
  EXPECT_EQ(WriteValue(host, 0, Format("f32", "DCBA"), 123456.0f), 1);
  EXPECT_EQ(host.written, (std::vector<unsigned short>{0x0020, 0xF147}));
  EXPECT_EQ(WriteValue(host, 0, Format("i16"), std::int64_t{40000}), 0);
  EXPECT_EQ(host.written.size(), 2u);
}

}  // namespace
