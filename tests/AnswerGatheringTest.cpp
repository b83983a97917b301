// How answers are gathered from the byte stream, over in-memory socket calls
// (no network, no pauses): cut, doubled, run together with other bytes, or
// with a length field that lies. Each row answers a read of 2 holding
// registers, then checks that the next read on the same connection gets its
// own answer, and that no receive ever took bytes sent before its request.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ClientHarness.h"
#include "ModbusAnswers.h"
#include "ScriptedSockets.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::ExceptionAnswer;
using testsupport::ReadAnswer;
using testsupport::WriteAnswer;

const Bytes kAnswer = ReadAnswer(3, {1, 2});  // 13 bytes
const std::vector<std::uint16_t> kUntouched = {0xaaaa, 0xbbbb};

Bytes Twice(const Bytes& bytes) {
  Bytes both = bytes;
  both.insert(both.end(), bytes.begin(), bytes.end());
  return both;
}

Bytes Joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Bytes WithLength(Bytes bytes, std::uint16_t length) {
  bytes[4] = static_cast<std::uint8_t>(length >> 8);
  bytes[5] = static_cast<std::uint8_t>(length & 0xff);
  return bytes;
}

Bytes FirstBytes(const Bytes& bytes, std::size_t count) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(count));
}

int ReadTwo(ClientHarness& module, std::vector<std::uint16_t>* values) {
  return module.Run([&](TCPModbusIntf& client) {
    return client.ReadHoldRegs(0, values->data(), 2);
  });
}

TEST(AnswerGatheringTest, EveryAnswerIsMadeOfItsOwnBytesOnly) {
  constexpr char kReadName[] = "CMBusTCP::MbReadHoldingRegs: ";
  Bytes oversize = {0, 0, 0, 0, 0x01, 0x26, 1, 3};
  oversize.resize(300, 0);
  Bytes protocolOne = kAnswer;
  protocolOne[3] = 1;
  struct Row {
    const char* what;
    Bytes answer;
    std::vector<std::size_t> chunks;  // sizes of the receives
    // The first read: its values on success, or the text after the
    // operation's name on failure.
    std::vector<std::uint16_t> values;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"whole answer", kAnswer, {}, {1, 2}, ""},
      {"one byte a receive",
       kAnswer,
       std::vector<std::size_t>(13, 1),
       {1, 2},
       ""},
      {"answer twice in one segment",
       Twice(kAnswer),
       {},
       kUntouched,
       "Incorrect response size: 26. Expected: 13"},
      {"answer twice, the copy a moment later",
       Twice(kAnswer),
       {13},
       {1, 2},
       ""},
      {"another frame behind the answer",
       Joined(kAnswer, WriteAnswer(6, 1, 2)),
       {13},
       {1, 2},
       ""},
      {"another frame in the same segment",
       Joined(kAnswer, WriteAnswer(6, 1, 2)),
       {},
       kUntouched,
       "Incorrect response size: 25. Expected: 13"},
      {"length field 0", WithLength(kAnswer, 0), {}, {1, 2}, ""},
      {"length field 6", WithLength(kAnswer, 6), {}, {1, 2}, ""},
      {"length field 8", WithLength(kAnswer, 8), {}, {1, 2}, ""},
      {"length field 13", WithLength(kAnswer, 13), {}, {1, 2}, ""},
      {"length field 255", WithLength(kAnswer, 255), {}, {1, 2}, ""},
      {"length field 65535", WithLength(kAnswer, 65535), {}, {1, 2}, ""},
      {"length field 13, cut after the header",
       WithLength(kAnswer, 13),
       {7},
       {1, 2},
       ""},
      // The header announces the 12 bytes that came: judged at once.
      {"length field 6, cut after 12 bytes",
       WithLength(kAnswer, 6),
       {12},
       kUntouched,
       "Incorrect response size: 12. Expected: 13"},
      // Not the start of a Modbus answer: judged as it came, as one receive
      // would have judged it; its rest is discarded before the next request.
      {"protocol identifier 1 in two pieces",
       protocolOne,
       {5},
       kUntouched,
       "Response was too short on DIO Module 1. readSize=5"},
      {"7 bytes announcing more, then silence",
       FirstBytes(kAnswer, 7),
       {},
       kUntouched,
       "Response was too short on DIO Module 1. readSize=7"},
      {"8 bytes of an exception, then silence",
       FirstBytes(ExceptionAnswer(3, 2), 8),
       {},
       kUntouched,
       "Response was too short on DIO Module 1. readSize=8"},
      {"exception cut after its flag",
       ExceptionAnswer(3, 2),
       {8},
       kUntouched,
       "MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\""},
      {"300 bytes, more than one receive takes",
       oversize,
       {},
       kUntouched,
       "Incorrect response size: 261. Expected: 13"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scripted::Script script;
    script.answers = {row.answer, ReadAnswer(3, {0x4242, 0x4343})};
    script.chunks = row.chunks;
    scripted::ScriptedSockets sockets(script);
    ClientHarness module(sockets);
    ASSERT_EQ(module.Initialize({"127.0.0.2"}), 1);

    std::vector<std::uint16_t> values = kUntouched;
    EXPECT_EQ(ReadTwo(module, &values), row.message.empty() ? 1 : 0);
    EXPECT_EQ(values, row.values);
    EXPECT_EQ(module->LastErrorString(),
              row.message.empty() ? "" : kReadName + row.message);

    values = kUntouched;
    EXPECT_EQ(ReadTwo(module, &values), 1) << module->LastErrorString();
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x4242, 0x4343}));
    EXPECT_FALSE(sockets.ReceivedStaleBytes());
  }
}

// A device that stalls in the middle of an answer for longer than the wait
// between pieces: the end of that answer arrives after the next request.
// Those bytes must never complete the next answer; the read after it is in
// step again.
TEST(AnswerGatheringTest, ALateEndNeverCompletesTheNextAnswer) {
  for (std::size_t late = 1; late < kAnswer.size(); ++late) {
    SCOPED_TRACE(std::to_string(late) + " bytes late");
    scripted::Script script;
    script.answers = {kAnswer, ReadAnswer(3, {3, 4}),
                      ReadAnswer(3, {0x4242, 0x4343})};
    script.late = {late};
    // The late end comes in a receive of its own, the worst case.
    script.chunks = {kAnswer.size() - late, late};
    scripted::ScriptedSockets sockets(script);
    ClientHarness module(sockets);
    ASSERT_EQ(module.Initialize({"127.0.0.2"}), 1);
    for (int read = 0; read < 2; ++read) {
      std::vector<std::uint16_t> values = kUntouched;
      EXPECT_EQ(ReadTwo(module, &values), 0) << "read " << read;
      EXPECT_EQ(values, kUntouched);
    }
    std::vector<std::uint16_t> values = kUntouched;
    EXPECT_EQ(ReadTwo(module, &values), 1) << module->LastErrorString();
    EXPECT_EQ(values, (std::vector<std::uint16_t>{0x4242, 0x4343}));
  }
}

}  // namespace
