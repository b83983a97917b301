#include "modbus/AnswerFraming.h"

#include "common/MbapFrame.h"

namespace tcpmodbus {
namespace modbusframe {
namespace {

// A Modbus header (protocol identifier 0) whose length field counts exactly
// the bytes after its first six.
bool AnnouncesExactly(const std::uint8_t* bytes, int have) {
  if (have < mbap::kHeaderSize) return false;
  if (bytes[mbap::kProtocolId] != 0 || bytes[mbap::kProtocolId + 1] != 0) {
    return false;
  }
  const int length = (bytes[mbap::kLength] << 8) | bytes[mbap::kLength + 1];
  return 6 + length == have;
}

// Whether the bytes so far may be the start of an answer with
// `functionCode`: protocol identifier 0 and byte 7 that code, with or without
// the exception flag (each looked at once it has arrived).
bool CouldBegin(const std::uint8_t* bytes, int have,
                std::uint8_t functionCode) {
  for (int at = mbap::kProtocolId; at < mbap::kProtocolId + 2 && at < have;
       ++at) {
    if (bytes[at] != 0) return false;
  }
  return have <= mbap::kFunctionCode ||
         (bytes[mbap::kFunctionCode] & ~mbap::kExceptionFlag & 0xff) ==
             functionCode;
}

// Function codes whose answer carries its data's byte count in byte 8.
bool HasByteCount(std::uint8_t code) {
  switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 12:
    case 17:
    case 20:
    case 21:
    case 23:
      return true;
    default:
      return false;
  }
}

// The size of an answer whose function code alone tells it; 0 otherwise.
int FixedAnswerSize(std::uint8_t code) {
  switch (code) {
    case 5:
    case 6:
    case 11:
    case 15:
    case 16:
      return 12;
    case 7:
      return 9;
    case 22:
      return 14;
    default:
      return 0;
  }
}

constexpr int kFrameStart = mbap::kFunctionCode + 1;

// The shortest and longest MBAP length of a frame: a unit identifier and a
// function code; a unit identifier and a PDU of 253 bytes.
constexpr int kLeastLength = 2;
constexpr int kMostLength = 254;

int MissingByLength(const std::uint8_t* bytes, int have,
                    const ExpectedAnswer& answer) {
  if (!CouldBegin(bytes, have, answer.functionCode)) return 0;
  if (have < kFrameStart) return kFrameStart - have;
  const int length = (bytes[mbap::kLength] << 8) | bytes[mbap::kLength + 1];
  if (length < kLeastLength || length > kMostLength) return 0;
  const int whole = 6 + length;
  return have < whole ? whole - have : 0;
}

}  // namespace

int FrameStartSize(const std::uint8_t* bytes, int have) {
  if (have < kFrameStart) return kFrameStart;
  const std::uint8_t code = bytes[mbap::kFunctionCode];
  return !mbap::IsException(bytes) && HasByteCount(code) ? kFrameStart + 1
                                                         : kFrameStart;
}

int FrameSize(const std::uint8_t* bytes, int have) {
  for (int at = mbap::kProtocolId; at < mbap::kProtocolId + 2 && at < have;
       ++at) {
    if (bytes[at] != 0) return -1;
  }
  if (have < FrameStartSize(bytes, have)) return 0;
  const std::uint8_t code = bytes[mbap::kFunctionCode];
  int size;
  if (mbap::IsException(bytes)) {
    size = mbap::kMinimumAnswerSize;
  } else if (HasByteCount(code)) {
    size = mbap::kReadValues + bytes[mbap::kByteCount];
  } else if (FixedAnswerSize(code) != 0) {
    size = FixedAnswerSize(code);
  } else {
    const int length = (bytes[mbap::kLength] << 8) | bytes[mbap::kLength + 1];
    if (length < kLeastLength || length > kMostLength) return -1;
    size = 6 + length;
  }
  return size <= mbap::kMaxFrameSize ? size : -1;
}

int MissingAnswerBytes(const std::uint8_t* bytes, int have,
                       const ExpectedAnswer& answer) {
  if (answer.size == kSizedByLength)
    return MissingByLength(bytes, have, answer);
  const int whole =
      answer.size < mbap::kMaxFrameSize ? answer.size : mbap::kMaxFrameSize;
  if (have >= whole) return 0;
  const bool exception = have > mbap::kFunctionCode && mbap::IsException(bytes);
  if (exception && have >= mbap::kMinimumAnswerSize) return 0;
  if (AnnouncesExactly(bytes, have)) return 0;
  if (!CouldBegin(bytes, have, answer.functionCode)) return 0;
  const int target = exception && mbap::kMinimumAnswerSize < whole
                         ? mbap::kMinimumAnswerSize
                         : whole;
  // Until byte 7 is in, only up to it: whether these bytes begin this
  // answer is then known before the rest is taken.
  const int untilFunctionCode = mbap::kFunctionCode + 1 - have;
  if (untilFunctionCode > 0 && untilFunctionCode < target - have) {
    return untilFunctionCode;
  }
  return target - have;
}

}  // namespace modbusframe
}  // namespace tcpmodbus
