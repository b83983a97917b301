// One direction of a relayed connection: the pieces received, each with the
// time it is due at the other side, sent in the order they came, and how
// the direction ends (closed or reset) after the last of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace tcpmodbus::proxy {

using Clock = std::chrono::steady_clock;

class DelayLine {
 public:
  enum class End { kNone, kClose, kReset };
  enum class Flushed {
    kIdle,     // nothing more is due yet
    kBlocked,  // the destination takes no more now: wait until writable
    kFailed,   // the destination is gone (errno tells)
    kEnded,    // everything is delivered and the end is due: pass it on
  };

  // Queues what arrived, to be sent once due and after all queued before.
  void Push(Clock::time_point due, const char* data, std::size_t size);
  // The source closed or was reset; the end is passed on after the rest.
  void PushEnd(Clock::time_point due, End end);
  // The destination is gone: nothing queued can be delivered.
  void Drop();

  End end() const { return end_; }
  std::size_t queued() const { return queued_; }
  // When the next piece or the end is due; none when nothing is queued or
  // the end was passed on.
  std::optional<Clock::time_point> NextDue() const;
  // Sends to `fd`, without blocking, what is due by `now`.
  Flushed Flush(int fd, Clock::time_point now);

 private:
  struct Piece {
    Clock::time_point due;
    std::string bytes;
  };
  std::deque<Piece> pieces_;
  std::size_t sent_ = 0;  // bytes of the first piece already sent
  std::size_t queued_ = 0;
  End end_ = End::kNone;
  Clock::time_point endDue_{};
  bool finished_ = false;  // the end was passed on, or the line dropped
};

}  // namespace tcpmodbus::proxy
