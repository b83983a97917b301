#include "modbus/AnswerReader.h"

#include <climits>
#include <cstddef>
#include <cstring>

namespace tcpmodbus {

ResponseDeadline::ResponseDeadline(unsigned timeoutMs)
    : bounded_(timeoutMs != 0),
      responseTimeout_(bounded_),
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

void ResponseDeadline::BoundAfterDrop() {
  if (bounded_) return;
  bounded_ = true;
  end_ = Clock::now() + std::chrono::milliseconds(kContinuationWaitMs);
}

void AnswerReader::Expect(bool byFrame,
                          const modbusframe::ExpectedAnswer& expected) {
  byFrame_ = byFrame;
  expected_ = expected;
}

int AnswerReader::FrameExtent(int* wanted) const {
  if (!byFrame_) {
    // Judged as it came once nothing more may belong to the answer.
    const int missing =
        modbusframe::MissingAnswerBytes(held_, have_, expected_);
    *wanted = have_ + missing;
    return missing == 0 ? have_ : 0;
  }
  const int size = modbusframe::FrameSize(held_, have_);
  if (size < 0) return -1;
  *wanted = size > 0 ? size : modbusframe::FrameStartSize(held_, have_);
  return size > 0 && size <= have_ ? size : 0;
}

ReadFrame AnswerReader::TakeAllHeld(std::uint8_t* frame, const IoResult& ending,
                                    bool framed) {
  std::memcpy(frame, held_, static_cast<std::size_t>(have_));
  const int count = have_;
  have_ = 0;
  return {count, ending, framed};
}

ReadFrame AnswerReader::Next(CTcpSocket& transport, std::uint8_t* frame,
                             const ResponseDeadline& deadline) {
  if (have_ == 0) {
    // The first piece: one receive of up to 261 bytes takes what has
    // arrived, so an answer that comes in one piece costs one receive.
    // Waited for first, within the deadline, so that a cancel ends it.
    if (deadline.Bounded() || transport.CancelRequest != nullptr) {
      const IoResult input = transport.WaitForInput(deadline.LeftMs());
      if (input.timedOut() || input.cancelled()) return {0, input, true};
      if (!input.done()) return {-1, input, true};
    }
    const IoResult piece =
        transport.ReceiveData(held_, CTcpSocket::MaxResponseBytes);
    if (!piece.done()) {
      // Nothing came: 0 for a closed stream or a socket not ready for the
      // receive, -1 for a receive that failed.
      const bool nothing = piece.kind == IoResult::Kind::kClosed ||
                           piece.kind == IoResult::Kind::kNotReady;
      return {nothing ? 0 : -1, piece, true};
    }
    have_ = piece.count;
  }
  return Frame(transport, frame, deadline);
}

ReadFrame AnswerReader::Frame(CTcpSocket& transport, std::uint8_t* frame,
                              const ResponseDeadline& deadline) {
  int wanted = 0;
  int size;
  while ((size = FrameExtent(&wanted)) == 0) {
    IoResult piece = transport.WaitForInput(deadline.NextPieceMs());
    if (piece.done()) {
      // Frame by frame, what arrived behind the frame is taken too and
      // held: bytes that cannot begin a frame then show that the frame
      // took the start of the next one.
      const int room = byFrame_ ? mbap::kMaxFrameSize - have_ : wanted - have_;
      piece = transport.ReceiveData(held_ + have_, room);
    }
    // Cut short by the wait, the end of the stream or a failure: what
    // arrived of the frame is judged.
    if (!piece.done()) return TakeAllHeld(frame, piece, true);
    have_ += piece.count;
  }
  if (size < 0) return TakeAllHeld(frame, IoResult::Done(have_), false);
  std::memcpy(frame, held_, static_cast<std::size_t>(size));
  have_ -= size;
  std::memmove(held_, held_ + size, static_cast<std::size_t>(have_));
  return {size, IoResult::Done(size), true};
}

IoResult AnswerReader::TakeWaiting(CTcpSocket& transport, std::uint8_t* frame,
                                   ReadFrame* read) {
  if (!byFrame_) {
    // Anything held or waiting is stale: dropped, up to one byte more than
    // a frame holds, which tells a stream of unknown extent.
    std::uint8_t scrap[mbap::kMaxFrameSize + 1];
    const int limit = static_cast<int>(sizeof(scrap));
    int dropped = have_;
    have_ = 0;
    while (dropped < limit) {
      const IoResult received =
          transport.ReceiveWaiting(scrap, limit - dropped);
      if (received.timedOut()) break;
      if (!received.done()) return received;
      dropped += received.count;
    }
    return IoResult::Done(dropped);
  }
  if (have_ < mbap::kMaxFrameSize) {
    const IoResult received =
        transport.ReceiveWaiting(held_ + have_, mbap::kMaxFrameSize - have_);
    if (received.done()) {
      have_ += received.count;
    } else if (!received.timedOut()) {
      return received;
    } else if (have_ == 0) {
      return received;  // nothing waits
    }
  }
  const ResponseDeadline rest(kContinuationWaitMs);
  *read = Frame(transport, frame, rest);
  return IoResult::Done(read->received);
}

}  // namespace tcpmodbus
