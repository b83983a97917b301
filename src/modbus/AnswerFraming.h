// When an answer is complete: the rule the protocol client applies to the
// bytes of an answer while they arrive, as a pure function over bytes.
//
// TCP delivers a byte stream, not messages: an answer may arrive in pieces.
// The first piece is judged as it came whenever it holds a whole answer,
// whatever its header says (devices miscount the length field); only an
// answer that is still short is completed, and never past the size the
// request's answer has, so bytes behind it stay in the socket.
#ifndef TCPMODBUS_MODBUS_ANSWERFRAMING_H_
#define TCPMODBUS_MODBUS_ANSWERFRAMING_H_

#include <cstdint>

namespace tcpmodbus {
namespace modbusframe {

// What a request's answer looks like when it is whole and in order: its size
// (2 * N + 9 for a read of N registers, 12 for a write) and the function
// code it carries in byte 7 (with the exception flag, when refused).
struct ExpectedAnswer {
  int size;
  std::uint8_t functionCode;
};
// The size of an answer that only its MBAP length sizes (device
// identification, raw requests).
constexpr int kSizedByLength = 0;

// How many more bytes the answer in `bytes` needs before it is judged, for
// the `have` bytes (1 or more) received so far. 0 means judge now:
// - `have` reaches the expected size (at most one frame, 261), or is 9 or
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
//
// An answer of size kSizedByLength is whole once it holds the 6 bytes and
// the MBAP length it announces (2 to 254; another length is judged at
// once), up to its function code first.
int MissingAnswerBytes(const std::uint8_t* bytes, int have,
                       const ExpectedAnswer& answer);

// Framing of any frame, for a stream read frame by frame (transaction
// identifiers on), as libmodbus frames an answer: by its function code and,
// for the codes that carry one, its byte count; never by the MBAP length
// field where the function code tells the size, since devices miscount it.
// An exception answer is 9 bytes; codes 1-4, 12, 17, 20, 21 and 23 carry a
// byte count in byte 8 (9 + count); 5, 6, 11, 15 and 16 are 12 bytes, 7 is
// 9 and 22 is 14. A frame of any other code is framed by its MBAP length
// when that is 2 to 254.
//
// For the `have` bytes of a frame's start: its whole size (8 to 261) once
// known; 0 while more of its start is needed (8 bytes, or 9 for the codes
// with a byte count); -1 when the bytes cannot begin a frame: a protocol
// identifier other than 0, a length no frame has, or more than one frame
// holds (261 bytes).
int FrameSize(const std::uint8_t* bytes, int have);
// The bytes of a frame's start that FrameSize needs to tell its size.
int FrameStartSize(const std::uint8_t* bytes, int have);

}  // namespace modbusframe
}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_ANSWERFRAMING_H_
