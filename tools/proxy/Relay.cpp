#include "Relay.h"

#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace tcpmodbus::proxy {

namespace {

constexpr int kClient = 0, kTarget = 1;
// A side's reading pauses while this much of it waits to be delivered, so a
// slow destination bounds the memory held.
constexpr std::size_t kMostQueued = 4 << 20;
constexpr std::size_t kReadSize = 64 << 10;

int Other(int side) { return 1 - side; }

}  // namespace

Relay::Relay(int client, int target, int connectError, std::string name,
             Delay* delay, Clock::time_point now)
    : fd_{client, target}, name_(std::move(name)), delay_(delay) {
  if (connectError != 0) {
    connecting_ = false;
    Lost(kTarget, now);
  }
}

Relay::~Relay() {
  for (const int fd : fd_) {
    if (fd >= 0) close(fd);
  }
}

void Relay::PollEntries(pollfd entries[2]) const {
  for (int side = 0; side < 2; ++side) {
    short events = 0;
    if (side == kTarget && connecting_) {
      events = POLLOUT;
    } else {
      if (reading_[side] && line_[side].queued() < kMostQueued) {
        events |= POLLIN;
      }
      if (blocked_[side]) events |= POLLOUT;
    }
    entries[side] = {events != 0 ? fd_[side] : -1, events, 0};
  }
}

void Relay::Handle(const pollfd entries[2], Clock::time_point now) {
  if (connecting_ && entries[kTarget].revents != 0) Connected(now);
  for (int side = 0; side < 2; ++side) {
    const short revents = entries[side].revents;
    if ((revents & POLLOUT) != 0) blocked_[side] = false;
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0 && reading_[side] &&
        !(side == kTarget && connecting_)) {
      Read(side, now);
    }
  }
  Flush(now);
}

// A refused or failed connect reaches the client as a reset, after the
// delay a real link would have taken to tell it.
void Relay::Connected(Clock::time_point now) {
  connecting_ = false;
  int error = 0;
  socklen_t length = sizeof(error);
  getsockopt(fd_[kTarget], SOL_SOCKET, SO_ERROR, &error, &length);
  if (error != 0) Lost(kTarget, now);
}

void Relay::Read(int side, Clock::time_point now) {
  char buffer[kReadSize];
  const ssize_t got = recv(fd_[side], buffer, sizeof(buffer), MSG_DONTWAIT);
  if (got > 0) {
    line_[side].Push(now + delay_->Next(), buffer,
                     static_cast<std::size_t>(got));
  } else if (got == 0) {
    reading_[side] = false;
    line_[side].PushEnd(now + delay_->Next(), DelayLine::End::kClose);
  } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    Lost(side, now);
  }
}

// `side` was reset or could not be reached: nothing more goes to it, and
// its peer is reset after what `side` sent before.
void Relay::Lost(int side, Clock::time_point now) {
  reading_[side] = false;
  blocked_[side] = false;
  line_[side].PushEnd(now + delay_->Next(), DelayLine::End::kReset);
  line_[Other(side)].Drop();
  ended_[Other(side)] = true;
}

void Relay::Flush(Clock::time_point now) {
  for (int side = 0; side < 2; ++side) {
    const int to = Other(side);
    if (ended_[side] || fd_[to] < 0 || (to == kTarget && connecting_)) {
      continue;
    }
    switch (line_[side].Flush(fd_[to], now)) {
      case DelayLine::Flushed::kIdle:
        break;
      case DelayLine::Flushed::kBlocked:
        blocked_[to] = true;
        break;
      case DelayLine::Flushed::kFailed:
        Lost(to, now);
        break;
      case DelayLine::Flushed::kEnded:
        ended_[side] = true;
        CloseSide(to, line_[side].end() == DelayLine::End::kReset);
        break;
    }
  }
}

// A close is passed on as a half close, so the other way keeps flowing; a
// reset as a reset, which ends the whole connection.
void Relay::CloseSide(int side, bool reset) {
  if (!reset) {
    shutdown(fd_[side], SHUT_WR);
    return;
  }
  const linger abort = {1, 0};
  setsockopt(fd_[side], SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
  close(fd_[side]);
  fd_[side] = -1;
  reading_[side] = false;
  line_[side].Drop();
  ended_[side] = true;
}

std::optional<Clock::time_point> Relay::NextDue() const {
  std::optional<Clock::time_point> next;
  for (int side = 0; side < 2; ++side) {
    const int to = Other(side);
    if (ended_[side] || blocked_[to] || (to == kTarget && connecting_)) {
      continue;
    }
    const auto due = line_[side].NextDue();
    if (due && (!next || *due < *next)) next = due;
  }
  return next;
}

bool Relay::Done() const { return ended_[kClient] && ended_[kTarget]; }

}  // namespace tcpmodbus::proxy
