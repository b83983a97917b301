// One relayed connection: the client's socket, the target's, and a delay
// line each way. Bytes go on in order once due; a close or a reset of one
// side reaches the other after what it sent before it.
#pragma once

#include <poll.h>

#include <optional>
#include <string>

#include "Delay.h"
#include "DelayLine.h"

namespace tcpmodbus::proxy {

class Relay {
 public:
  // `target` is connecting (non-blocking) until it turns writable, unless
  // its connect failed at once with `connectError`.
  Relay(int client, int target, int connectError, std::string name,
        Delay* delay, Clock::time_point now);
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;
  ~Relay();

  const std::string& name() const { return name_; }
  // What to wait for on each side: entries[0] the client, [1] the target;
  // fd -1 for a side with nothing to wait for.
  void PollEntries(pollfd entries[2]) const;
  // Takes what the wait reported, then sends what is due.
  void Handle(const pollfd entries[2], Clock::time_point now);
  // When something is next due that no socket event will announce.
  std::optional<Clock::time_point> NextDue() const;
  bool Done() const;

 private:
  void Connected(Clock::time_point now);
  void Read(int side, Clock::time_point now);
  void Flush(Clock::time_point now);
  void Lost(int side, Clock::time_point now);
  void CloseSide(int side, bool reset);

  int fd_[2];
  std::string name_;
  Delay* delay_;
  bool connecting_ = true;
  bool reading_[2] = {true, true};
  bool blocked_[2] = {false, false};  // waiting to write to that side
  // line_[i] carries what side i sent to the other side.
  DelayLine line_[2];
  bool ended_[2] = {false, false};  // line_[i]'s end was passed on
};

}  // namespace tcpmodbus::proxy
