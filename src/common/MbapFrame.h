// The Modbus/TCP frame as every layer sees it: the 7-byte MBAP header, the
// function code behind it, and the limits of one frame. This is the one place
// that knows these offsets; the request builders and the verdict of the
// protocol client, and the gathering of an answer in the transport, use them.
//
// Offsets count from the first byte of a frame; 16-bit fields are big-endian.
#ifndef TCPMODBUS_COMMON_MBAPFRAME_H_
#define TCPMODBUS_COMMON_MBAPFRAME_H_

#include <cstdint>

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

// What a request's answer looks like when it is whole and in order: its size
// (2 * N + 9 for a read of N registers, 12 for a write) and the function
// code it carries in byte 7 (with the exception flag, when refused).
struct ExpectedAnswer {
  int size;
  std::uint8_t functionCode;
};

// How many more bytes the answer in `bytes` needs before it is judged, for
// the `have` bytes (1 or more) received so far. 0 means judge now:
// - `have` reaches the expected size (at most kMaxFrameSize), or is 9 or
//   more with the exception flag set: the answer is whole;
// - the header announces exactly `have` bytes: a whole frame of another
//   size, which the verdict refuses at once instead of after a wait;
// - the bytes cannot begin this request's answer (protocol identifier not 0,
//   or another function code in byte 7): whatever they are, more bytes would
//   only make a frame of pieces that do not belong together.
// Otherwise the count still missing to the expected size, or to 9 once byte
// 7 carries the exception flag; while byte 7 has not arrived, only the count
// up to it, so that pieces that do not begin this answer are never joined
// with what follows into one of the right size. The length field never asks
// for more, so nothing behind the answer is taken from the stream.
int MissingAnswerBytes(const std::uint8_t* bytes, int have,
                       const ExpectedAnswer& answer);

}  // namespace mbap

#endif  // TCPMODBUS_COMMON_MBAPFRAME_H_
