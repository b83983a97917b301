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

}  // namespace

int MissingAnswerBytes(const std::uint8_t* bytes, int have,
                       const ExpectedAnswer& answer) {
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
