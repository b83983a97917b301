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
#include "FailureRecord.h"
#include "ModbusAnswers.h"
#include "ScriptedSockets.h"
#include "tcpmodbus/TCPModbusIntf.h"

namespace {

using testsupport::Bytes;
using testsupport::ClientHarness;
using testsupport::ExceptionAnswer;
using testsupport::FailureRecord;
using testsupport::FailureRecordOf;
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

// `bytes` with transaction identifier `id`, or unit identifier `unit`.
Bytes WithId(Bytes bytes, std::uint16_t id) {
  bytes[0] = static_cast<std::uint8_t>(id >> 8);
  bytes[1] = static_cast<std::uint8_t>(id & 0xff);
  return bytes;
}

Bytes WithUnit(Bytes bytes, std::uint8_t unit) {
  bytes[6] = unit;
  return bytes;
}

// The answer to a read of 65535 registers, sent in full: far more than a
// socket holds, and more than one frame can carry.
Bytes Oversized() {
  Bytes bytes = {0, 0, 0, 0, 0xff, 0xff, 1, 3, 0xfe};
  bytes.resize(9 + 2 * 65535, 0x11);
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
    std::string what;
    Bytes answer;
    std::vector<std::size_t> chunks;  // sizes of the receives
    // The first read: its values on success, or the text after the
    // operation's name and the failure's record.
    std::vector<std::uint16_t> values;
    std::string message;
    FailureRecord failure = {};
    // Transaction identifiers, recovery; bytes of the first answer that come
    // after the next request; the peer closes once the first answer is read.
    bool ids = false;
    bool recovery = false;
    std::vector<std::size_t> late = {};
    int closeAfter = -1;
    // The second read: reconnections before it, and its failure (empty: it
    // reads its own values).
    unsigned reconnects = 0;
    std::string secondMessage = "";
    FailureRecord secondFailure = {};
    // One counter of identifiers for the object's life, across connections:
    // 3 when a request found the connection gone before it was sent.
    std::uint16_t secondId = 2;
    // The second answer, when not the usual one with secondId; bytes of the
    // first that arrive while idle (before the second send); the response
    // time-out; an idle close that is a reset; identifiers turned off
    // before the second read.
    Bytes secondAnswer = {};
    std::vector<std::size_t> idle = {};
    unsigned responseTimeout = 0;
    bool resetIdle = false;
    bool idsOffForSecond = false;
  };
  const FailureRecord kWrongSize{TCPModbusIntf::ErrorWrongSize};
  const FailureRecord kTooShort{TCPModbusIntf::ErrorTooShort};
  const FailureRecord kWrongAnswer{TCPModbusIntf::ErrorWrongAnswer};
  const std::string kIdsOff = "transaction identifiers needs them off";
  const std::string kNotThisRequests =
      "Answer from DIO Module 1 is not this request's: ";
  const std::string kFixedId =
      "Answer from DIO Module 1 carries transaction identifier 1, expected 2; a device that does not echo " +
      kIdsOff;
  const std::string kNoResponse = "No response from DIO Module 1 within 100 ms";
  const FailureRecord kTimeout{TCPModbusIntf::ErrorTimeout};
  std::vector<Row> rows = {
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
       "Incorrect response size: 26. Expected: 13",
       kWrongSize},
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
       "Incorrect response size: 25. Expected: 13",
       kWrongSize},
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
       "Incorrect response size: 12. Expected: 13",
       kWrongSize},
      // Not the start of a Modbus answer: judged as it came, as one receive
      // would have judged it; its rest is discarded before the next request.
      {"protocol identifier 1 in two pieces",
       protocolOne,
       {5},
       kUntouched,
       "Response was too short on DIO Module 1. readSize=5",
       kTooShort},
      {"7 bytes announcing more, then silence",
       FirstBytes(kAnswer, 7),
       {},
       kUntouched,
       "Response was too short on DIO Module 1. readSize=7",
       kTooShort},
      {"8 bytes of an exception, then silence",
       FirstBytes(ExceptionAnswer(3, 2), 8),
       {},
       kUntouched,
       "Response was too short on DIO Module 1. readSize=8",
       kTooShort},
      {"exception cut after its flag",
       ExceptionAnswer(3, 2),
       {8},
       kUntouched,
       "MODBUS exception response on DIO Module 1 - Code=2, \"Unallowable or invalid data address received in the query for the slave\"",
       testsupport::ModbusException(2)},
      {"300 bytes, more than one receive takes",
       oversize,
       {},
       kUntouched,
       "Incorrect response size: 261. Expected: 13",
       kWrongSize},
      {"131 kB: the next request is never sent into the rest",
       Oversized(),
       {},
       kUntouched,
       "Incorrect response size: 261. Expected: 13",
       kWrongSize,
       false,
       false,
       {},
       -1,
       0,
       "More than 261 bytes from DIO Module 1 were waiting unread before the request; the connection was closed",
       kWrongAnswer},
      {"131 kB, recovery on: the next read runs on a new connection",
       Oversized(),
       {},
       kUntouched,
       "Incorrect response size: 261. Expected: 13",
       kWrongSize,
       false,
       true,
       {},
       -1,
       1},
      {"closed while idle, recovery on: the next read reconnects first",
       kAnswer,
       {},
       {1, 2},
       "",
       {},
       false,
       true,
       {},
       0,
       1},
      {"identifiers on: whole answer",
       WithId(kAnswer, 1),
       {},
       {1, 2},
       "",
       {},
       true},
      {"identifiers on: answer twice in one segment",
       Twice(WithId(kAnswer, 1)),
       {},
       {1, 2},
       "",
       {},
       true},
      {"identifiers on: the copy comes after the next request",
       Twice(WithId(kAnswer, 1)),
       {},
       {1, 2},
       "",
       {},
       true,
       false,
       {13}},
      {"identifiers on: the copy comes in pieces after the next request",
       Twice(WithId(kAnswer, 1)),
       {13, 3, 2},
       {1, 2},
       "",
       {},
       true,
       false,
       {13}},
      {"identifiers on: another unit's answer",
       WithUnit(WithId(kAnswer, 1), 2),
       {},
       kUntouched,
       kNotThisRequests + "unit identifier 2, expected 1",
       kWrongAnswer,
       true},
      {"identifiers on: an answer of function code 4",
       WithId(ReadAnswer(4, {1, 2}), 1),
       {},
       kUntouched,
       kNotThisRequests + "function code 4, expected 3",
       kWrongAnswer,
       true},
      {"identifiers on: an answer that does not echo the identifier",
       kAnswer,
       {},
       kUntouched,
       "Answer from DIO Module 1 carries transaction identifier 0, expected 1; a device that does not echo " +
           kIdsOff,
       kWrongAnswer,
       true},
      {"identifiers on, 131 kB: no frame holds it",
       WithId(Oversized(), 1),
       {},
       kUntouched,
       "Bytes from DIO Module 1 do not frame as a Modbus answer; the connection was closed",
       kWrongAnswer,
       true,
       true,
       {},
       -1,
       1},
      // The answer says 13 bytes but brings 9: it would take the start of
      // the frame behind it, whose rest then cannot begin a frame.
      {"identifiers on: an answer shorter than it says, then a frame",
       Joined(FirstBytes(WithId(kAnswer, 1), 9), WithId(kAnswer, 7)),
       {},
       kUntouched,
       "Bytes from DIO Module 1 do not frame as a Modbus answer; the connection was closed",
       kWrongAnswer,
       true,
       true,
       {},
       -1,
       1},
      {"identifiers on: an answer shorter than it says, then a frame in a "
       "receive of its own",
       Joined(FirstBytes(WithId(kAnswer, 1), 9), WithId(kAnswer, 7)),
       {9},
       kUntouched,
       "Bytes from DIO Module 1 do not frame as a Modbus answer; the connection was closed",
       kWrongAnswer,
       true,
       true,
       {},
       -1,
       1},
      {"identifiers on, closed while idle, recovery on",
       WithId(kAnswer, 1),
       {},
       {1, 2},
       "",
       {},
       true,
       true,
       {},
       0,
       1,
       "",
       {},
       3},
      {"identifiers on: a device that answers with one fixed identifier",
       WithId(kAnswer, 1),
       {},
       {1, 2},
       "",
       {},
       true,
       false,
       {},
       -1,
       0,
       kFixedId,
       kWrongAnswer,
       1},
      {"identifiers on: the same answer with the previous identifier again",
       WithId(kAnswer, 1),
       {},
       {1, 2},
       "",
       {},
       true,
       false,
       {},
       -1,
       0,
       kFixedId,
       kWrongAnswer,
       2,
       WithId(kAnswer, 1)},
      {"identifiers on: a late answer split around the next request",
       WithId(ReadAnswer(3, {0x0bad, 0x0bad}), 1),
       {},
       kUntouched,
       kNoResponse,
       kTimeout,
       true,
       false,
       {6},
       -1,
       0,
       "A frame from DIO Module 1 that came before the request stayed incomplete; the connection was closed",
       kWrongAnswer,
       2,
       {},
       {7},
       100},
      {"identifiers on: a late answer split around the next request, recovery on",
       WithId(ReadAnswer(3, {0x0bad, 0x0bad}), 1),
       {},
       kUntouched,
       kNoResponse,
       kTimeout,
       true,
       true,
       {6},
       -1,
       1,
       "",
       {},
       3,
       {},
       {7},
       100},
      {"reset while idle, recovery on: the next read reconnects first",
       kAnswer,
       {},
       {1, 2},
       "",
       {},
       false,
       true,
       {},
       0,
       1,
       "",
       {},
       2,
       {},
       {},
       0,
       true},
      {"identifiers turned off after a time-out: the connection is renewed",
       WithId(kAnswer, 1),
       {13},
       kUntouched,
       kNoResponse,
       kTimeout,
       true,
       false,
       {13},
       -1,
       1,
       "",
       {},
       2,
       {},
       {},
       100,
       false,
       true},
  };
  // The answer in two receives, cut after each of its bytes.
  for (std::size_t cut = 1; cut < kAnswer.size(); ++cut) {
    rows.push_back(
        {"cut after byte " + std::to_string(cut), kAnswer, {cut}, {1, 2}, ""});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    scripted::Script script;
    const Bytes second = ReadAnswer(3, {0x4242, 0x4343});
    const bool secondIds = row.ids && !row.idsOffForSecond;
    script.answers = {row.answer, !row.secondAnswer.empty() ? row.secondAnswer
                                  : secondIds ? WithId(second, row.secondId)
                                              : second};
    // A peer with an answer of its own choosing stays connected, silent.
    if (!row.secondAnswer.empty()) script.answers.push_back({});
    script.chunks = row.chunks;
    script.late = row.late;
    script.idle = row.idle;
    script.closeAfter = row.closeAfter;
    script.resetIdle = row.resetIdle;
    scripted::ScriptedSockets sockets(script);
    ClientHarness module(sockets);
    module->SetTransactionIds(row.ids);
    module->SetRecovery(row.recovery);
    module->SetResponseTimeout(row.responseTimeout);
    ASSERT_EQ(module.Initialize({"127.0.0.2"}), 1);

    std::vector<std::uint16_t> values = kUntouched;
    EXPECT_EQ(ReadTwo(module, &values), row.message.empty() ? 1 : 0);
    EXPECT_EQ(values, row.values);
    EXPECT_EQ(module->LastErrorString(),
              row.message.empty() ? "" : kReadName + row.message);
    EXPECT_EQ(FailureRecordOf(module.Client()), row.failure);

    values = kUntouched;
    if (row.idsOffForSecond) module->SetTransactionIds(false);
    const bool secondReads = row.secondMessage.empty();
    EXPECT_EQ(ReadTwo(module, &values), secondReads ? 1 : 0)
        << module->LastErrorString();
    const std::vector<std::uint16_t> own = {0x4242, 0x4343};
    EXPECT_EQ(values, secondReads ? own : kUntouched);
    if (!secondReads) {
      EXPECT_EQ(module->LastErrorString(), kReadName + row.secondMessage);
      EXPECT_EQ(FailureRecordOf(module.Client()), row.secondFailure);
    }
    EXPECT_EQ(module->Reconnects(), row.reconnects);
    // With identifiers on, an earlier answer is read whole and dropped by
    // its identifier; without them, no receive may take its bytes.
    if (!row.ids) {
      EXPECT_FALSE(sockets.ReceivedStaleBytes());
    }
  }
}

// A request that went out in part would be framed by the module with the
// next request's bytes: that connection is given up, never sent on again.
TEST(AnswerGatheringTest, ARequestSentInPartGivesUpTheConnection) {
  for (const bool recovery : {false, true}) {
    SCOPED_TRACE(recovery ? "recovery on" : "recovery off");
    scripted::Script script;
    script.answers = {kAnswer, ReadAnswer(3, {0x4242, 0x4343})};
    script.shortSendAt = 0;
    scripted::ScriptedSockets sockets(script);
    ClientHarness module(sockets);
    module->SetRecovery(recovery);
    ASSERT_EQ(module.Initialize({"127.0.0.2"}), 1);
    std::vector<std::uint16_t> values = kUntouched;
    EXPECT_EQ(ReadTwo(module, &values), 0);
    EXPECT_EQ(sockets.OpenHandles(), 0);
    EXPECT_EQ(ReadTwo(module, &values), recovery ? 1 : 0);
    const std::vector<std::uint16_t> own = {0x4242, 0x4343};
    EXPECT_EQ(values, recovery ? own : kUntouched);
    EXPECT_EQ(module->Reconnects(), recovery ? 1u : 0u);
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
