#include "common/MbapFrame.h"

namespace mbap {
namespace {

// A Modbus header (protocol identifier 0) whose length field counts exactly
// the bytes after its first six.
bool AnnouncesExactly(const std::uint8_t* bytes, int have) {
  if (have < kHeaderSize) return false;
  if (bytes[kProtocolId] != 0 || bytes[kProtocolId + 1] != 0) return false;
  const int length = (bytes[kLength] << 8) | bytes[kLength + 1];
  return 6 + length == have;
}

}  // namespace

int MissingAnswerBytes(const std::uint8_t* bytes, int have, int answerSize) {
  const int whole = answerSize < kMaxFrameSize ? answerSize : kMaxFrameSize;
  if (have >= whole) return 0;
  const bool exception = have > kFunctionCode && IsException(bytes);
  if (exception && have >= kMinimumAnswerSize) return 0;
  if (AnnouncesExactly(bytes, have)) return 0;
  const int target =
      exception && kMinimumAnswerSize < whole ? kMinimumAnswerSize : whole;
  return target - have;
}

}  // namespace mbap
