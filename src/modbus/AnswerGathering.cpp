#include "modbus/AnswerGathering.h"

#include <chrono>
#include <climits>

namespace tcpmodbus {
namespace {

// The end of the wait for one answer, when the host set a response time-out.
class ResponseDeadline {
 public:
  explicit ResponseDeadline(unsigned timeoutMs)
      : bounded_(timeoutMs != 0),
        end_(bounded_ ? Clock::now() + std::chrono::milliseconds(timeoutMs)
                      : Clock::time_point()) {}
  bool Bounded() const { return bounded_; }
  // Milliseconds left, 0 once passed (at most INT_MAX).
  int LeftMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          end_ - Clock::now())
                          .count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
  }
  // The wait for the next piece: kContinuationWaitMs, or less when the
  // deadline comes sooner.
  int NextPieceMs() const {
    if (!bounded_) return kContinuationWaitMs;
    const int left = LeftMs();
    return left < kContinuationWaitMs ? left : kContinuationWaitMs;
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool bounded_;
  Clock::time_point end_;
};

}  // namespace

GatheredAnswer GatherAnswer(CTcpSocket& transport, std::uint8_t* buffer,
                            const modbusframe::ExpectedAnswer& answer,
                            unsigned responseTimeoutMs) {
  const IoResult ready = transport.CheckReady(nullptr);
  if (!ready.done()) return {0, ready};
  const ResponseDeadline deadline(responseTimeoutMs);
  if (deadline.Bounded()) {
    const IoResult input = transport.WaitForInput(deadline.LeftMs());
    if (input.timedOut()) return {0, input};
    if (!input.done()) return {-1, input};
  }
  IoResult piece = transport.Receive(buffer, CTcpSocket::MaxResponseBytes);
  if (piece.kind == IoResult::Kind::kClosed) return {0, piece};
  if (!piece.done()) return {-1, piece};

  int have = piece.count;
  int missing;
  while ((missing = modbusframe::MissingAnswerBytes(buffer, have, answer)) >
         0) {
    const IoResult input = transport.WaitForInput(deadline.NextPieceMs());
    // A wait that expired, a closed stream or a failure before the answer
    // was whole: what arrived is judged.
    if (!input.done()) return {have, input};
    piece = transport.Receive(buffer + have, missing);
    if (!piece.done()) return {have, piece};
    have += piece.count;
  }
  return {have, IoResult::Done(have)};
}

}  // namespace tcpmodbus
