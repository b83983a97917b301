#include "modbus/AnswerGathering.h"

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstring>

namespace tcpmodbus {

ResponseDeadline::ResponseDeadline(unsigned timeoutMs)
    : bounded_(timeoutMs != 0),
      end_(bounded_ ? Clock::now() + std::chrono::milliseconds(timeoutMs)
                    : Clock::time_point()) {}

int ResponseDeadline::LeftMs() const {
  if (!bounded_) return platform::kWaitForever;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(end_ - Clock::now())
          .count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

int ResponseDeadline::NextPieceMs() const {
  if (!bounded_) return kContinuationWaitMs;
  const int left = LeftMs();
  return left < kContinuationWaitMs ? left : kContinuationWaitMs;
}

namespace {

// The first piece of what answers a request: one receive of up to 261
// bytes, waited for within the deadline when there is one. Done with its
// count, or how the wait or the receive ended instead (as GatheredAnswer
// counts it: 0 for nothing in time or a closed stream, -1 for a failure).
GatheredAnswer ReceiveFirstPiece(CTcpSocket& transport, std::uint8_t* buffer,
                                 const ResponseDeadline& deadline) {
  if (deadline.Bounded()) {
    const IoResult input = transport.WaitForInput(deadline.LeftMs());
    if (input.timedOut()) return {0, input};
    if (!input.done()) return {-1, input};
  }
  const IoResult piece =
      transport.Receive(buffer, CTcpSocket::MaxResponseBytes);
  if (piece.kind == IoResult::Kind::kClosed) return {0, piece};
  return {piece.done() ? piece.count : -1, piece};
}

}  // namespace

GatheredAnswer GatherAnswer(CTcpSocket& transport, std::uint8_t* buffer,
                            const modbusframe::ExpectedAnswer& answer,
                            unsigned responseTimeoutMs) {
  const IoResult ready = transport.CheckReady(nullptr);
  if (!ready.done()) return {0, ready};
  const ResponseDeadline deadline(responseTimeoutMs);
  const GatheredAnswer first = ReceiveFirstPiece(transport, buffer, deadline);
  if (!first.ending.done()) return first;

  int have = first.received;
  int missing;
  while ((missing = modbusframe::MissingAnswerBytes(buffer, have, answer)) >
         0) {
    const IoResult input = transport.WaitForInput(deadline.NextPieceMs());
    // A wait that expired, a closed stream or a failure before the answer
    // was whole: what arrived is judged.
    if (!input.done()) return {have, input};
    const IoResult piece = transport.Receive(buffer + have, missing);
    if (!piece.done()) return {have, piece};
    have += piece.count;
  }
  return {have, IoResult::Done(have)};
}

FrameReader::FrameReader(CTcpSocket& transport,
                         const ResponseDeadline& deadline)
    : transport_(transport), deadline_(deadline) {}

FrameReader::Frame FrameReader::TakeAllHeld(std::uint8_t* frame,
                                            const IoResult& ending,
                                            bool framed) {
  std::memcpy(frame, held_, static_cast<std::size_t>(have_));
  const int count = have_;
  have_ = 0;
  return {{count, ending}, framed};
}

FrameReader::Frame FrameReader::Next(std::uint8_t* frame) {
  if (!checkedReady_) {
    checkedReady_ = true;
    const IoResult ready = transport_.CheckReady(nullptr);
    if (!ready.done()) return {{0, ready}, true};
  }
  if (have_ == 0) {
    const GatheredAnswer first =
        ReceiveFirstPiece(transport_, held_, deadline_);
    if (!first.ending.done()) return {first, true};
    have_ = first.received;
  }

  int size;
  while ((size = modbusframe::FrameSize(held_, have_)) <= 0 || size > have_) {
    if (size < 0) return TakeAllHeld(frame, IoResult::Done(have_), false);
    const int want =
        size > 0 ? size : modbusframe::FrameStartSize(held_, have_);
    IoResult piece = transport_.WaitForInput(deadline_.NextPieceMs());
    if (piece.done()) piece = transport_.Receive(held_ + have_, want - have_);
    // A frame cut short: what arrived of it is judged.
    if (!piece.done()) return TakeAllHeld(frame, piece, true);
    have_ += piece.count;
  }
  std::memcpy(frame, held_, static_cast<std::size_t>(size));
  have_ -= size;
  std::memmove(held_, held_ + size, static_cast<std::size_t>(have_));
  return {{size, IoResult::Done(size)}, true};
}

}  // namespace tcpmodbus
