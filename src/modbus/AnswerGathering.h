// The gathering of one answer from the transport: a first receive, then
// further pieces only while the framing rule (AnswerFraming.h) asks for
// them, each within a bounded wait.
#ifndef TCPMODBUS_MODBUS_ANSWERGATHERING_H_
#define TCPMODBUS_MODBUS_ANSWERGATHERING_H_

#include <chrono>
#include <cstdint>

#include "common/MbapFrame.h"
#include "modbus/AnswerFraming.h"
#include "platform/IoResult.h"
#include "transport/CTcpSocket.h"

namespace tcpmodbus {

// Longest wait for each further piece of an answer that arrived in part.
// libmodbus allows the same between the bytes of a frame.
constexpr int kContinuationWaitMs = 500;

// The end of the wait for one answer, when the host set a response time-out.
class ResponseDeadline {
 public:
  // 0: no deadline.
  explicit ResponseDeadline(unsigned timeoutMs);
  bool Bounded() const { return bounded_; }
  // Milliseconds left, 0 once passed (at most INT_MAX); kWaitForever when
  // not bounded.
  int LeftMs() const;
  // The wait for the next piece of a frame: kContinuationWaitMs, or less
  // when the deadline comes sooner.
  int NextPieceMs() const;

 private:
  using Clock = std::chrono::steady_clock;
  bool bounded_;
  Clock::time_point end_;
};

struct GatheredAnswer {
  // The count the verdict judges: the bytes received (1 to 261); 0 when
  // none arrived (the stream ended, the socket was not ready, or nothing
  // came within the response time-out); -1 when the first receive failed.
  int received;
  // How the last step ended: done when the answer is whole or no more bytes
  // can belong to it; timed out when a wait expired (before the first byte,
  // only the response time-out's); closed, reset or failed when the
  // connection ended or the readiness check failed.
  IoResult ending;
};

// Takes the answer to the request just sent into `buffer` (at least
// CTcpSocket::MaxResponseBytes): the readiness check, one receive of up to
// 261 bytes, then the missing pieces, each within kContinuationWaitMs and,
// when `responseTimeoutMs` is not 0, all within that time from the start.
GatheredAnswer GatherAnswer(CTcpSocket& transport, std::uint8_t* buffer,
                            const modbusframe::ExpectedAnswer& answer,
                            unsigned responseTimeoutMs);

// Reads an exchange's stream frame by frame (transaction identifiers on):
// each frame whole, framed by modbusframe::FrameSize, never a byte of what
// follows it. The readiness check runs before the first frame; one receive
// of up to 261 bytes takes what has arrived, so an answer that comes in one
// piece costs one receive, and frames behind it in that piece are the next
// frames. The bytes still held when the reader ends arrived after the last
// frame it gave: they answer no later request (Leftover).
class FrameReader {
 public:
  FrameReader(CTcpSocket& transport, const ResponseDeadline& deadline);
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // The next frame, copied into `frame` (at least 261 bytes). `received`
  // counts its bytes, with `ending` done when it is whole; otherwise what
  // arrived of it, with how the wait ended (as GatherAnswer gives them:
  // 0 and timed out when nothing came within the deadline, -1 when the
  // first receive failed). `framed` is false when the bytes cannot begin a
  // frame: then `received` counts all that was held.
  struct Frame {
    GatheredAnswer read;
    bool framed;
  };
  Frame Next(std::uint8_t* frame);
  // The bytes held behind the last frame, and how many.
  const std::uint8_t* Leftover() const { return held_; }
  int LeftoverSize() const { return have_; }

 private:
  // Hands over all that is held, as a frame that ended as `ending` says.
  Frame TakeAllHeld(std::uint8_t* frame, const IoResult& ending, bool framed);

  CTcpSocket& transport_;
  const ResponseDeadline& deadline_;
  std::uint8_t held_[mbap::kMaxFrameSize];
  int have_ = 0;
  bool checkedReady_ = false;
};

}  // namespace tcpmodbus

#endif  // TCPMODBUS_MODBUS_ANSWERGATHERING_H_
