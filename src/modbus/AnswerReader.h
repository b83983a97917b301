// The one reader of a connection's answers: it takes pieces of the byte
// stream from the transport and frames them, every wait bounded, by one of
// two rules (AnswerFraming.h):
// - with transaction identifiers off, by the answer the request expects:
//   the first receive (up to 261 bytes) is judged as it came whenever it
//   holds a whole answer, and a shorter one is completed up to the expected
//   size, never past it, so nothing behind the answer is taken;
// - with them on, frame by frame, each by its own function code and byte
//   count, so that answers to other requests are read whole; what arrived
//   behind a frame is held for the next.
// Before a request, it also takes what is already waiting: nothing of that
// can answer the request.
#ifndef TCPMODBUS_MODBUS_ANSWERREADER_H_
#define TCPMODBUS_MODBUS_ANSWERREADER_H_

#include <chrono>
#include <cstdint>

#include "common/MbapFrame.h"
#include "modbus/AnswerFraming.h"
#include "platform/IoResult.h"
#include "transport/CTcpSocket.h"

namespace tcpmodbus {

// Longest wait for each further piece of a frame that arrived in part.
// libmodbus allows the same between the bytes of a frame.
constexpr int kContinuationWaitMs = 500;

// The end of the wait for one answer.
class ResponseDeadline {
 public:
  using Clock = std::chrono::steady_clock;
  // 0: no deadline.
  explicit ResponseDeadline(unsigned timeoutMs);
  // A deadline at `end`, which the response time-out set when
  // `responseTimeout`.
  ResponseDeadline(Clock::time_point end, bool responseTimeout)
      : bounded_(true), responseTimeout_(responseTimeout), end_(end) {}
  bool Bounded() const { return bounded_; }
  // Whether the response time-out set the deadline (not a bound of
  // BoundAfterDrop).
  bool IsResponseTimeout() const { return responseTimeout_; }
  // Milliseconds left, 0 once passed (at most INT_MAX); kWaitForever when
  // not bounded.
  int LeftMs() const;
  // The wait for the next piece of a frame: kContinuationWaitMs, or less
  // when the deadline comes sooner.
  int NextPieceMs() const;
  // After a frame was dropped: the rest of the wait is bounded, by the
  // response time-out when one is set, else by kContinuationWaitMs.
  void BoundAfterDrop();

 private:
  bool bounded_;
  bool responseTimeout_;
  Clock::time_point end_;
};

// What the reader hands over: a frame, or why none.
struct ReadFrame {
  // The count the verdict judges: the bytes received (1 to 261); 0 when
  // none arrived (the stream ended, the socket was not ready, or nothing
  // came within the deadline); -1 when the first receive failed.
  int received;
  // How the last step ended: done when the frame is whole; timed out when
  // a wait expired (before the first byte, only the deadline's); closed,
  // reset or failed when the connection ended or a readiness check failed.
  IoResult ending;
  // False when the bytes cannot begin a frame: then `received` counts all
  // that was held.
  bool framed;
};

// One reader a connection: bytes behind a frame stay held for the next
// frame the same connection reads, and a new connection starts empty.
class AnswerReader {
 public:
  AnswerReader() = default;
  AnswerReader(const AnswerReader&) = delete;
  AnswerReader& operator=(const AnswerReader&) = delete;

  // How the next frames are told: with identifiers off by `expected`, the
  // answer to the request just sent; with them on, by each frame's own
  // size.
  void Expect(bool byFrame, const modbusframe::ExpectedAnswer& expected);
  // A new connection: nothing of the old one is held.
  void Clear() { have_ = 0; }

  // The next frame from `transport`, copied into `frame` (at least 261
  // bytes), waiting within `deadline` for its first byte.
  ReadFrame Next(CTcpSocket& transport, std::uint8_t* frame,
                 const ResponseDeadline& deadline);

  // Before a request: takes what has already arrived or is held. With
  // identifiers off, up to 261 bytes are dropped (done with their count;
  // more: done with 262, for the caller to give the stream up); with them
  // on, the next whole frame goes to `*read` by Next's rules, its rest
  // awaited within kContinuationWaitMs. Timed out (count 0) once nothing
  // more waits; closed, reset or failed when the stream ended.
  IoResult TakeWaiting(CTcpSocket& transport, std::uint8_t* frame,
                       ReadFrame* read);

  // The bytes held behind the last frame, and how many: they arrived after
  // it in the same receive.
  const std::uint8_t* Held() const { return held_; }
  int HeldSize() const { return have_; }

 private:
  // How far the held bytes go: the size of the frame at their start once
  // it is whole, else 0 with the count they must reach first in `*wanted`,
  // or -1 when they cannot begin a frame.
  int FrameExtent(int* wanted) const;
  // Completes the frame at the start of the held bytes and hands it over.
  ReadFrame Frame(CTcpSocket& transport, std::uint8_t* frame,
                  const ResponseDeadline& deadline);
  // Hands over all that is held, as a frame that ended as `ending` says.
  ReadFrame TakeAllHeld(std::uint8_t* frame, const IoResult& ending,
                        bool framed);

  bool byFrame_ = false;
  modbusframe::ExpectedAnswer expected_ = {0, 0};
  std::uint8_t held_[mbap::kMaxFrameSize];
  int have_ = 0;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_ANSWERREADER_H_
