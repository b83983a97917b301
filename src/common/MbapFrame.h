// The Modbus/TCP frame as every layer sees it: the 7-byte MBAP header, the
// function code behind it, and the limits of one frame. This is the one place
// that knows these offsets: the protocol client's request builders, verdicts
// and framing of answers use them, and the transport sizes its receive by
// the largest frame.
//
// Offsets count from the first byte of a frame; 16-bit fields are big-endian.
#ifndef TCPMODBUS_COMMON_MBAPFRAME_H_
#define TCPMODBUS_COMMON_MBAPFRAME_H_

#include <cstdint>

namespace tcpmodbus {
namespace mbap {

constexpr int kTransactionId = 0;  // 0-1
constexpr int kProtocolId = 2;     // 2-3: 0 for Modbus
constexpr int kLength = 4;         // 4-5: bytes that follow, unit id included
constexpr int kUnitId = 6;         // 6
constexpr int kHeaderSize = 7;
constexpr int kFunctionCode = 7;   // 7: bit 7 set in an exception answer
constexpr int kExceptionCode = 8;  // 8: in an exception answer
constexpr int kByteCount = 8;      // 8: in a read answer
constexpr int kReadValues = 9;     // 9 on: register values of a read answer

// The largest frame in either direction: one request buffer, one receive.
constexpr int kMaxFrameSize = 261;
constexpr std::uint8_t kExceptionFlag = 0x80;
// The header, the function code and one byte: the least an answer is judged
// on (an exception answer is exactly this long).
constexpr int kMinimumAnswerSize = 9;

inline bool IsException(const std::uint8_t* frame) {
  return (frame[kFunctionCode] & kExceptionFlag) != 0;
}

}  // namespace mbap
}  // namespace tcpmodbus

#endif  // TCPMODBUS_COMMON_MBAPFRAME_H_
