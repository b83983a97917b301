// Request frames, the verdict on a response and register decoding: pure
// functions over bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FakeModbusServer.h"
#include "common/MbapFrame.h"
#include "modbus/AnswerFraming.h"
#include "modbus/DeviceIdentification.h"
#include "modbus/ModbusFrame.h"
#include "modbus/RawFrame.h"
#include "modbus/TransactionIds.h"

namespace {

namespace modbusframe = tcpmodbus::modbusframe;
namespace mbap = tcpmodbus::mbap;

using testsupport::Bytes;
using testsupport::ToHex;
namespace mf = modbusframe;

TEST(ModbusFrameTest, RequestsCarryTheirFieldsBigEndian) {
  static const std::uint16_t kTwoValues[] = {1, 515};
  // Ten coils, on where the byte is not 0: bits 0, 3, 8, 9 of 1 0 0 1 0 0
  // 0 0 1 1, least significant bit first.
  static const std::uint8_t kTenBits[] = {1, 0, 0, 7, 0, 0, 0, 0, 0xff, 1};
  struct Row {
    const char* what;
    int (*build)(std::uint8_t* frame);
    const char* expected;
  };
  const Row rows[] = {
      {"read holding from 258, 2 registers",
       [](std::uint8_t* f) { return mf::BuildReadRequest(f, 3, 258, 2); },
       "00 00 00 00 00 06 01 03 01 02 00 02"},
      {"read input from 0xfffe, 0x1234 registers",
       [](std::uint8_t* f) {
         return mf::BuildReadRequest(f, 4, 0xfffe, 0x1234);
       },
       "00 00 00 00 00 06 01 04 ff fe 12 34"},
      {"read holding from 0, none",
       [](std::uint8_t* f) { return mf::BuildReadRequest(f, 3, 0, 0); },
       "00 00 00 00 00 06 01 03 00 00 00 00"},
      {"preset 513 into 5",
       [](std::uint8_t* f) { return mf::BuildPresetSingleRequest(f, 5, 513); },
       "00 00 00 00 00 06 01 06 00 05 02 01"},
      {"preset 1 and 515 from 0",
       [](std::uint8_t* f) {
         return mf::BuildPresetMultipleRequest(f, 0, 2, kTwoValues);
       },
       "00 00 00 00 00 0b 01 10 00 00 00 02 04 00 01 02 03"},
      {"read holding, transaction identifier 0x1234, unit 7",
       [](std::uint8_t* f) {
         return mf::BuildReadRequest(f, 3, 258, 2, {0x1234, 7});
       },
       "12 34 00 00 00 06 07 03 01 02 00 02"},
      {"read 2000 coils from 19",
       [](std::uint8_t* f) { return mf::BuildReadBitsRequest(f, 1, 19, 2000); },
       "00 00 00 00 00 06 01 01 00 13 07 d0"},
      {"read 1 discrete input from 0xffff",
       [](std::uint8_t* f) {
         return mf::BuildReadBitsRequest(f, 2, 0xffff, 1);
       },
       "00 00 00 00 00 06 01 02 ff ff 00 01"},
      {"force coil 172 on",
       [](std::uint8_t* f) {
         return mf::BuildForceSingleCoilRequest(f, 172, true);
       },
       "00 00 00 00 00 06 01 05 00 ac ff 00"},
      {"force coil 3 off",
       [](std::uint8_t* f) {
         return mf::BuildForceSingleCoilRequest(f, 3, false);
       },
       "00 00 00 00 00 06 01 05 00 03 00 00"},
      {"force 10 coils from 19",
       [](std::uint8_t* f) {
         return mf::BuildForceMultipleCoilsRequest(f, 19, kTenBits, 10);
       },
       "00 00 00 00 00 09 01 0f 00 13 00 0a 02 09 03"},
      {"mask write of register 4",
       [](std::uint8_t* f) {
         return mf::BuildMaskWriteRequest(f, 4, 0x00f2, 0x0025);
       },
       "00 00 00 00 00 08 01 16 00 04 00 f2 00 25"},
      {"read 6 from 3, write 1 and 515 to 14",
       [](std::uint8_t* f) {
         return mf::BuildReadWriteRegistersRequest(f, 3, 6, 14, kTwoValues, 2);
       },
       "00 00 00 00 00 0f 01 17 00 03 00 06 00 0e 00 02 04 00 01 02 03"},
      {"read device identification, regular from object 3",
       [](std::uint8_t* f) { return mf::BuildReadDeviceIdRequest(f, 2, 3); },
       "00 00 00 00 00 05 01 2b 0e 02 03"},
      {"raw request of code 8, echo of 0x1234",
       [](std::uint8_t* f) {
         static const std::uint8_t kData[] = {0, 0, 0x12, 0x34};
         return mf::BuildRawRequest(f, 8, kData, 4);
       },
       "00 00 00 00 00 06 01 08 00 00 12 34"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes frame(mf::kRequestBufferSize, 0xee);
    const int size = row.build(frame.data());
    ASSERT_GT(size, 0);
    EXPECT_EQ(ToHex(Bytes(frame.begin(), frame.begin() + size)), row.expected);
  }
}

TEST(ModbusFrameTest, PresetMultipleOf124RegistersFillsTheWholeBuffer) {
  // Exactly the buffer's size on the heap, so an overrun is caught by the
  // address sanitizer.
  std::vector<std::uint8_t> frame(261);
  std::vector<std::uint16_t> values(124);
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<std::uint16_t>(0x8000 + i);
  }
  const int size =
      mf::BuildPresetMultipleRequest(frame.data(), 0x0102, 124, values.data());
  ASSERT_EQ(size, 261);
  EXPECT_EQ(ToHex(Bytes(frame.begin(), frame.begin() + 15)),
            "00 00 00 00 00 ff 01 10 01 02 00 7c f8 80 00");
  EXPECT_EQ(ToHex(Bytes(frame.end() - 2, frame.end())), "80 7b");
}

struct VerdictRow {
  const char* what;
  Bytes response;
  int received;
  std::uint8_t functionCode;
  std::uint16_t regCount;
  mf::Verdict verdict;
  std::uint8_t exceptionCode;
  int expectedSize;
};

TEST(ModbusFrameTest, VerdictOnResponses) {
  const Bytes exception2 = {0, 0, 0, 0, 0, 3, 1, 0x83, 2};
  // Header fields and byte count that agree with nothing in the request.
  const Bytes oddHeaderRead = {0x12, 0x34, 0,    0,    0x99, 0x99, 0x7f,
                               0x03, 0x55, 0x01, 0x02, 0x00, 0xff};
  const Bytes write12 = {0xab, 0xcd, 0, 0, 0, 6, 9, 0x10, 0, 0, 0, 0};
  const Bytes read2 = {0, 0, 0, 0, 0, 7, 1, 3, 4, 1, 2, 0, 0xff};
  const VerdictRow rows[] = {
      {"nothing received", {}, 0, 3, 2, mf::Verdict::Closed, 0, 0},
      {"receive failed", {}, -1, 3, 2, mf::Verdict::TooShort, 0, 0},
      {"one byte", {0}, 1, 3, 2, mf::Verdict::TooShort, 0, 0},
      {"eight bytes with exception flag",
       {0, 0, 0, 0, 0, 2, 1, 0x83},
       8,
       3,
       2,
       mf::Verdict::TooShort,
       0,
       0},
      {"exception code 2", exception2, 9, 3, 2, mf::Verdict::Exception, 2, 0},
      {"exception code 9",
       {0, 0, 0, 0, 0, 3, 1, 0x84, 9},
       9,
       4,
       2,
       mf::Verdict::Exception,
       9,
       0},
      {"exception code 255 on a write",
       {0, 0, 0, 0, 0, 3, 1, 0x86, 0xff},
       9,
       6,
       1,
       mf::Verdict::Exception,
       255,
       0},
      {"exception flag with another function code",
       {0, 0, 0, 0, 0, 3, 1, 0x90, 0},
       9,
       3,
       2,
       mf::Verdict::Exception,
       0,
       0},
      {"read answered short", Bytes(read2.begin(), read2.end() - 2), 11, 3, 2,
       mf::Verdict::WrongSize, 0, 13},
      {"read answered long", read2, 13, 3, 1, mf::Verdict::WrongSize, 0, 11},
      {"write answered with 13 bytes", read2, 13, 16, 2, mf::Verdict::WrongSize,
       0, 12},
      {"single write answered with 9 bytes",
       {0, 0, 0, 0, 0, 3, 1, 6, 0},
       9,
       6,
       1,
       mf::Verdict::WrongSize,
       0,
       12},
      {"read of 2 accepted whatever the header says", oddHeaderRead, 13, 3, 2,
       mf::Verdict::Accepted, 0, 0},
      {"input read accepted", read2, 13, 4, 2, mf::Verdict::Accepted, 0, 0},
      {"read of 0 accepted with 9 bytes",
       {0, 0, 0, 0, 0, 3, 1, 3, 0},
       9,
       3,
       0,
       mf::Verdict::Accepted,
       0,
       0},
      {"single write accepted", write12, 12, 6, 1, mf::Verdict::Accepted, 0, 0},
      {"multiple write accepted whatever it echoes", write12, 12, 16, 100,
       mf::Verdict::Accepted, 0, 0},
  };
  for (const VerdictRow& row : rows) {
    SCOPED_TRACE(row.what);
    Bytes buffer(261, 0);
    std::copy(row.response.begin(), row.response.end(), buffer.begin());
    const mf::Judgement judgement = mf::JudgeResponse(
        buffer.data(), row.received, row.functionCode, row.regCount);
    EXPECT_EQ(judgement.verdict, row.verdict);
    if (row.verdict == mf::Verdict::Exception) {
      EXPECT_EQ(judgement.exceptionCode, row.exceptionCode);
    }
    if (row.verdict == mf::Verdict::WrongSize) {
      EXPECT_EQ(judgement.expectedSize, row.expectedSize);
    }
  }
}

// The largest point requests fill a request buffer exactly: 1968 coils
// (13 + 246 bytes) and a read/write of 121 registers (17 + 242).
TEST(ModbusFrameTest, LargestPointRequestsFitTheBuffer) {
  std::vector<std::uint8_t> frame(261);
  const std::vector<std::uint8_t> bits(mf::kMaxWriteBits, 1);
  EXPECT_EQ(mf::BuildForceMultipleCoilsRequest(frame.data(), 0, bits.data(),
                                               mf::kMaxWriteBits),
            259);
  EXPECT_EQ(ToHex(Bytes(frame.begin() + 10, frame.begin() + 14)),
            "07 b0 f6 ff");
  const std::vector<std::uint16_t> values(mf::kMaxReadWriteWriteRegisters, 7);
  EXPECT_EQ(
      mf::BuildReadWriteRegistersRequest(frame.data(), 0, 125, 0, values.data(),
                                         mf::kMaxReadWriteWriteRegisters),
      259);
}

// The point exchanges' verdict compares the function code, byte count and
// echo with the request; bits decode least significant bit first.
TEST(ModbusFrameTest, StrictVerdictOnPointAnswers) {
  Bytes readCoils(12), forceCoil(12), maskWrite(14), readWrite(21);
  static const std::uint16_t kTwo[] = {1, 2};
  mf::BuildReadBitsRequest(readCoils.data(), 1, 19, 10);
  mf::BuildForceSingleCoilRequest(forceCoil.data(), 172, true);
  mf::BuildMaskWriteRequest(maskWrite.data(), 4, 0xf2, 0x25);
  mf::BuildReadWriteRegistersRequest(readWrite.data(), 3, 1, 14, kTwo, 2);
  struct Row {
    const char* what;
    const Bytes& request;
    Bytes answer;
    mf::Verdict verdict;
    const char* field;  // with WrongAnswer
  };
  const Row rows[] = {
      {"coils accepted",
       readCoils,
       {0, 0, 0, 0, 0, 5, 1, 1, 2, 0x09, 0xff},
       mf::Verdict::Accepted,
       nullptr},
      {"coils: byte count 1",
       readCoils,
       {0, 0, 0, 0, 0, 5, 1, 1, 1, 9, 3},
       mf::Verdict::WrongAnswer,
       "byte count"},
      {"coils: function code 2",
       readCoils,
       {0, 0, 0, 0, 0, 5, 1, 2, 2, 9, 3},
       mf::Verdict::WrongAnswer,
       "function code"},
      {"coils: one byte short",
       readCoils,
       {0, 0, 0, 0, 0, 4, 1, 1, 2, 9},
       mf::Verdict::WrongSize,
       nullptr},
      {"coils: one byte long",
       readCoils,
       {0, 0, 0, 0, 0, 6, 1, 1, 2, 9, 3, 0},
       mf::Verdict::WrongSize,
       nullptr},
      {"coils: exception 2",
       readCoils,
       {0, 0, 0, 0, 0, 3, 1, 0x81, 2},
       mf::Verdict::Exception,
       nullptr},
      {"coils: exception of function code 3, not theirs",
       readCoils,
       {0, 0, 0, 0, 0, 3, 1, 0x83, 2},
       mf::Verdict::WrongAnswer,
       "function code"},
      {"coils: 8 bytes",
       readCoils,
       {0, 0, 0, 0, 0, 2, 1, 1},
       mf::Verdict::TooShort,
       nullptr},
      {"force coil: echo", forceCoil, forceCoil, mf::Verdict::Accepted,
       nullptr},
      {"force coil: another address",
       forceCoil,
       {0, 0, 0, 0, 0, 6, 1, 5, 0, 0xad, 0xff, 0},
       mf::Verdict::WrongAnswer,
       "address"},
      {"force coil: off echoed for on",
       forceCoil,
       {0, 0, 0, 0, 0, 6, 1, 5, 0, 0xac, 0, 0},
       mf::Verdict::WrongAnswer,
       "value"},
      {"mask write: echo", maskWrite, maskWrite, mf::Verdict::Accepted,
       nullptr},
      {"mask write: another OR mask",
       maskWrite,
       {0, 0, 0, 0, 0, 8, 1, 0x16, 0, 4, 0, 0xf2, 0, 0x26},
       mf::Verdict::WrongAnswer,
       "OR mask"},
      {"read/write: one register",
       readWrite,
       {0, 0, 0, 0, 0, 5, 1, 0x17, 2, 0x12, 0x34},
       mf::Verdict::Accepted,
       nullptr},
      {"read/write: byte count 4",
       readWrite,
       {0, 0, 0, 0, 0, 5, 1, 0x17, 4, 0x12, 0x34},
       mf::Verdict::WrongAnswer,
       "byte count"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const mf::Judgement judgement =
        mf::JudgeStrict(row.answer.data(), static_cast<int>(row.answer.size()),
                        mf::AnswerTo(row.request.data()));
    EXPECT_EQ(judgement.verdict, row.verdict);
    if (row.field != nullptr) {
      EXPECT_STREQ(judgement.field, row.field);
    }
  }
  std::uint8_t bits[10];
  const Bytes answer = {0, 0, 0, 0, 0, 5, 1, 1, 2, 0x09, 0xfd};
  mf::DecodeBits(answer.data(), 10, bits);
  EXPECT_EQ(ToHex(Bytes(bits, bits + 10)), "01 00 00 01 00 00 00 00 01 00");
}

TEST(ModbusFrameTest, RegistersDecodeBigEndianAndUnsigned) {
  const Bytes response = {0,    0,    0,    0,    0,    11,   1,    3,   8,
                          0x80, 0x00, 0xff, 0xff, 0x7f, 0xff, 0x01, 0x02};
  std::uint16_t values[5] = {0x1111, 0x1111, 0x1111, 0x1111, 0x1111};
  mf::DecodeRegisters(response.data(), 4, values);
  EXPECT_EQ(values[0], 0x8000);
  EXPECT_EQ(values[1], 0xffff);
  EXPECT_EQ(values[2], 0x7fff);
  EXPECT_EQ(values[3], 258);
  EXPECT_EQ(values[4], 0x1111) << "decoded past regCount";
}

// How many bytes an answer still lacks, for the bytes received so far and
// what the request's answer looks like. The length field only ends a wait
// early; it never asks for bytes beyond the answer, and bytes that cannot
// begin this answer are judged as they are.
TEST(MissingAnswerBytesTest, AskForTheRestOfTheAnswerOnly) {
  const Bytes read2 = {0, 0, 0, 0, 0, 7, 1, 3, 4, 0, 1, 0, 2};
  struct Row {
    const char* what;
    Bytes bytes;
    int answerSize;
    int missing;
    std::uint8_t functionCode = 3;
  };
  auto first = [&](std::size_t count) {
    return Bytes(read2.begin(), read2.begin() + static_cast<long>(count));
  };
  auto readOf = [](std::size_t size) {
    Bytes bytes(size, 0);
    bytes[7] = 3;
    return bytes;
  };
  const Row rows[] = {
      {"one byte: up to the function code first", first(1), 13, 7},
      {"the header", first(7), 13, 1},
      {"the function code", first(8), 13, 5},
      {"all but one", first(12), 13, 1},
      {"whole", read2, 13, 0},
      {"two answers in one piece", Bytes(26, 0), 13, 0},
      {"exception flag, code still missing",
       {0, 0, 0, 0, 0, 3, 1, 0x83},
       13,
       1},
      {"whole exception", {0, 0, 0, 0, 0, 3, 1, 0x83, 2}, 13, 0},
      {"exception answer to a write", {0, 0, 0, 0, 0, 3, 1, 0x86, 2}, 12, 0, 6},
      {"exception flag of a write multiple",
       {0, 0, 0, 0, 0, 3, 1, 0x90},
       12,
       1,
       16},
      {"a whole shorter frame", {0, 0, 0, 0, 0, 5, 1, 3, 2, 0, 1}, 13, 0},
      {"length 13, whole frame counted", {0, 0, 0, 0, 0, 13, 1, 3}, 13, 5},
      {"length 6, data only counted", {0, 0, 0, 0, 0, 6, 1, 3, 4, 0}, 13, 3},
      {"length 255", {0, 0, 0, 0, 0, 0xff, 1, 3}, 13, 5},
      {"length 65535", {0, 0, 0, 0, 0xff, 0xff, 1, 3}, 13, 5},
      {"length 0", {0, 0, 0, 0, 0, 0, 1, 3}, 13, 5},
      {"protocol identifier 1", {0, 0, 0, 1, 0, 1, 1}, 13, 0},
      {"the end of another answer, then a header",
       {2, 0, 0, 0, 0, 0, 7, 1},
       13,
       0},
      {"protocol identifier 0x0100, first byte of it", {0, 0, 1}, 13, 0},
      {"another function code", {0, 0, 0, 0, 0, 7, 1, 4, 4}, 13, 0},
      {"register bytes of another answer", {0x11, 0x11, 0x11, 0x11}, 13, 0},
      {"answer larger than a receive", readOf(200), 263, 61},
      {"largest frame", Bytes(261, 0), 263, 0},
      {"by length: up to the function code", first(5), 0, 3, 3},
      {"by length: the rest it announces", first(8), 0, 5, 3},
      {"by length: whole", read2, 0, 0, 3},
      {"by length: an exception", {0, 0, 0, 0, 0, 3, 1, 0xab}, 0, 1, 43},
      {"by length: 255 is no frame's", {0, 0, 0, 0, 0, 0xff, 1, 3}, 0, 0},
      {"by length: another function code", {0, 0, 0, 0, 0, 7, 1, 4}, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(modbusframe::MissingAnswerBytes(
                  row.bytes.data(), static_cast<int>(row.bytes.size()),
                  {row.answerSize, row.functionCode}),
              row.missing);
  }
}

// Frames of any function code, as a stream read frame by frame cuts them:
// by function code and byte count, and by the length field only for codes
// that do not tell their size.
TEST(FrameSizeTest, ByFunctionCodeAndByteCount) {
  auto start = [](std::uint8_t code, std::uint8_t next, std::uint16_t length) {
    return Bytes{0,
                 1,
                 0,
                 0,
                 static_cast<std::uint8_t>(length >> 8),
                 static_cast<std::uint8_t>(length),
                 1,
                 code,
                 next};
  };
  struct Row {
    const char* what;
    Bytes bytes;
    int size;
  };
  const Row rows[] = {
      {"read of 2 registers, length field ignored", start(3, 4, 99), 13},
      {"read coils, byte count 0", start(1, 0, 3), 9},
      {"read/write registers, 250 bytes", start(23, 250, 3), 259},
      {"byte count past one frame", start(3, 253, 3), -1},
      {"write echo", start(16, 0, 0), 12},
      {"mask write echo", start(22, 0, 0), 14},
      {"exception", start(0x83, 2, 3), 9},
      {"another code, by its length", start(43, 0, 9), 15},
      {"another code, length 1", start(43, 0, 1), -1},
      {"another code, length 255", start(43, 0, 255), -1},
      {"protocol identifier 1", {0, 1, 0, 1}, -1},
      {"header alone", Bytes(7, 0), 0},
      {"byte count not yet in", {0, 1, 0, 0, 0, 5, 1, 3}, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(
        mf::FrameSize(row.bytes.data(), static_cast<int>(row.bytes.size())),
        row.size);
  }
}

// With identifiers on, the answer is the request's only with its unit and
// function code (or its exception form).
TEST(FrameSizeTest, AnswerIdentity) {
  const mf::RequestHeader header{5, 7};
  struct Row {
    Bytes frame;
    mf::Mismatch mismatch;
    int received;
  };
  const Row rows[] = {
      {{0, 5, 0, 0, 0, 3, 7, 3}, mf::Mismatch::kNone, 0},
      {{0, 5, 0, 0, 0, 3, 7, 0x83}, mf::Mismatch::kNone, 0},
      {{0, 5, 0, 2, 0, 3, 7, 3}, mf::Mismatch::kProtocolId, 2},
      {{0, 5, 0, 0, 0, 3, 1, 3}, mf::Mismatch::kUnitId, 1},
      {{0, 5, 0, 0, 0, 3, 7, 4}, mf::Mismatch::kFunctionCode, 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(ToHex(row.frame));
    const mf::IdentityCheck check =
        mf::CheckAnswerIdentity(row.frame.data(), header, 3);
    EXPECT_EQ(check.mismatch, row.mismatch);
    EXPECT_EQ(check.received, row.received);
  }
}

// Answers sized by their MBAP length (raw requests, identification): the
// header, unit and function code judged before the length counts them.
TEST(PduAnswerTest, HeaderUnitFunctionCodeAndLength) {
  using V = mf::Verdict;
  struct Row {
    const char* what;
    Bytes frame;
    V verdict;
    int number;  // the exception code, the expected size or the value
  };
  // clang-format off
  const Row rows[] = {
      {"echo", {0, 0, 0, 0, 0, 4, 5, 8, 0, 0}, V::Accepted, 0},
      {"code alone", {0, 0, 0, 0, 0, 2, 5, 8}, V::Accepted, 0},
      {"seven bytes", {0, 0, 0, 0, 0, 1, 5}, V::TooShort, 0},
      {"protocol 1", {0, 0, 0, 1, 0, 2, 5, 8}, V::WrongAnswer, 1},
      {"unit 6", {0, 0, 0, 0, 0, 2, 6, 8}, V::WrongAnswer, 6},
      {"code 9", {0, 0, 0, 0, 0, 2, 5, 9}, V::WrongAnswer, 9},
      {"exception 1", {0, 0, 0, 0, 0, 3, 5, 0x88, 1}, V::Exception, 1},
      {"length past the bytes", {0, 0, 0, 0, 0, 5, 5, 8, 0}, V::WrongSize, 11},
      {"bytes past the length", {0, 0, 0, 0, 0, 2, 5, 8, 0}, V::WrongSize, 8},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const mf::Judgement judgement = mf::JudgePduAnswer(
        row.frame.data(), static_cast<int>(row.frame.size()), 8, 5);
    EXPECT_EQ(judgement.verdict, row.verdict);
    EXPECT_EQ(judgement.exceptionCode + judgement.expectedSize +
                  judgement.receivedValue,
              row.number);
  }
  Bytes oversized(261, 0);
  oversized[5] = 255, oversized[6] = 5, oversized[7] = 8;
  EXPECT_NE(mf::JudgePduAnswer(oversized.data(), 261, 8, 5).message, nullptr);
}

// Identification answers as hostile modules make them: each fault of
// content refused with its own message (a distinctive part of it) or field,
// and the objects of an accepted answer located. `last` is the last object
// id of earlier answers.
TEST(PduAnswerTest, IdentificationAnswersAreJudgedStrictly) {
  struct Row {
    const char* what;
    std::uint8_t code, asked;
    int last;
    Bytes pdu;
    const char* fault;  // null: accepted
  };
  // clang-format off
  const Row rows[] = {
      {"basic, 3 objects", 1, 0, -1, {43, 14, 1, 0x81, 0, 0, 3, 0, 1, 'a', 1, 0, 2, 1, 'c'}, nullptr},
      {"more follows", 2, 0, 1, {43, 14, 2, 0x82, 0xff, 3, 1, 2, 0}, nullptr},
      {"one object", 4, 5, -1, {43, 14, 4, 0x83, 0, 0, 1, 5, 1, 'm'}, nullptr},
      {"a stream from its first", 3, 0x90, -1, {43, 14, 3, 3, 0xff, 1, 1, 0, 0}, nullptr},
      {"head cut short", 1, 0, -1, {43, 14, 1, 0x81, 0, 0}, "too short"},
      {"MEI type 13", 1, 0, -1, {43, 13, 1, 0x81, 0, 0, 0}, "MEI type"},
      {"another code", 1, 0, -1, {43, 14, 2, 0x81, 0, 0, 0}, "read device id code"},
      {"conformity 4", 1, 0, -1, {43, 14, 1, 4, 0, 0, 0}, "conformity level %d"},
      {"more follows 1", 1, 0, -1, {43, 14, 1, 1, 1, 0, 0}, "gives more follows"},
      {"length past the end", 1, 0, -1, {43, 14, 1, 1, 0, 0, 1, 0, 9, 'a'}, "past its end"},
      {"count that lies high", 1, 0, -1, {43, 14, 1, 1, 0, 0, 2, 0, 1, 'a'}, "counts %d objects"},
      {"count that lies low", 1, 0, -1, {43, 14, 1, 1, 0, 0, 1, 0, 1, 'a', 1, 1, 'b'}, "bytes past its"},
      {"an id again", 1, 1, 1, {43, 14, 1, 1, 0xff, 2, 1, 1, 0}, "object ids rise"},
      {"never advances", 1, 1, 0, {43, 14, 1, 1, 0xff, 1, 1, 1, 0}, "would not advance"},
      {"no object, same id", 3, 0x80, 6, {43, 14, 3, 3, 0xff, 0x80, 0}, "would not advance"},
      {"the end, a next id", 1, 0, -1, {43, 14, 1, 1, 0, 2, 1, 0, 0}, "next object id"},
      {"one object, another", 4, 2, -1, {43, 14, 4, 0x81, 0, 0, 1, 1, 0}, "object id"},
      {"one object, two", 4, 1, -1, {43, 14, 4, 0x81, 0, 0, 2, 1, 0, 2, 0}, "number of objects"},
      {"one object, more", 4, 2, -1, {43, 14, 4, 0x81, 0xff, 3, 1, 2, 0}, "more follows"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    mf::IdentProgress progress = {row.code, row.asked, row.last};
    mf::IdentAnswer answer;
    const mf::Judgement judgement = mf::JudgeIdentAnswer(
        row.pdu.data(), static_cast<int>(row.pdu.size()), progress, &answer);
    const char* said = judgement.message ? judgement.message : judgement.field;
    if (row.fault == nullptr) {
      EXPECT_EQ(judgement.verdict, mf::Verdict::Accepted);
      EXPECT_EQ(answer.objectsAt + answer.objectsSize, int(row.pdu.size()));
      EXPECT_GT(progress.lastId, row.last);
    } else {
      EXPECT_EQ(progress.lastId, row.last);
      ASSERT_EQ(judgement.verdict, mf::Verdict::WrongAnswer);
      EXPECT_TRUE(judgement.message ? std::strstr(said, row.fault) != nullptr
                                    : std::strcmp(said, row.fault) == 0)
          << said;
    }
  }
}

// Identifiers go 1, 2, ... 65535 and then 1 again: 0, which requests carry
// with identifiers off, is never one of them.
TEST(ModbusFrameTest, TransactionIdsWrapPast65535ToOneNeverZero) {
  tcpmodbus::TransactionIds ids;
  for (int expected = 1; expected <= 65535 + 2; ++expected) {
    const int wanted = expected > 65535 ? expected - 65535 : expected;
    ASSERT_EQ(ids.Next(), wanted);
  }
}

}  // namespace
