#include "DelayLine.h"

#include <errno.h>
#include <sys/socket.h>

namespace tcpmodbus::proxy {

void DelayLine::Push(Clock::time_point due, const char* data,
                     std::size_t size) {
  if (finished_ || end_ != End::kNone) return;
  pieces_.push_back({due, std::string(data, size)});
  queued_ += size;
}

void DelayLine::PushEnd(Clock::time_point due, End end) {
  if (finished_ || end_ != End::kNone) return;
  end_ = end;
  endDue_ = due;
}

void DelayLine::Drop() {
  pieces_.clear();
  sent_ = 0;
  queued_ = 0;
  finished_ = true;
}

std::optional<Clock::time_point> DelayLine::NextDue() const {
  if (finished_) return std::nullopt;
  if (!pieces_.empty()) return pieces_.front().due;
  if (end_ != End::kNone) return endDue_;
  return std::nullopt;
}

// Only the first piece is ever sent, so one that a jittered delay made due
// sooner waits for those ahead of it: the bytes keep their order.
DelayLine::Flushed DelayLine::Flush(int fd, Clock::time_point now) {
  if (finished_) return Flushed::kIdle;
  while (!pieces_.empty() && pieces_.front().due <= now) {
    const std::string& bytes = pieces_.front().bytes;
    const ssize_t sent = send(fd, bytes.data() + sent_, bytes.size() - sent_,
                              MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Flushed::kBlocked;
      if (errno == EINTR) continue;
      return Flushed::kFailed;
    }
    sent_ += static_cast<std::size_t>(sent);
    queued_ -= static_cast<std::size_t>(sent);
    if (sent_ == bytes.size()) {
      pieces_.pop_front();
      sent_ = 0;
    }
  }
  if (pieces_.empty() && end_ != End::kNone && endDue_ <= now) {
    finished_ = true;
    return Flushed::kEnded;
  }
  return Flushed::kIdle;
}

}  // namespace tcpmodbus::proxy
