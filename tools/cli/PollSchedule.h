// When the polls run: on the boundaries of a fixed period from the first.
// A poll that overran its period (a module silent until the time-out) does
// not make up the boundaries it passed, which would be a burst of requests
// back to back at a module just back from a silence: the next poll is at the
// first boundary still ahead, and the boundaries passed over are counted.
#ifndef TCPMODBUS_TOOLS_CLI_POLLSCHEDULE_H_
#define TCPMODBUS_TOOLS_CLI_POLLSCHEDULE_H_

#include <chrono>

namespace cli {

class PollSchedule {
 public:
  using Clock = std::chrono::steady_clock;

  PollSchedule(Clock::time_point first, Clock::duration period)
      : next_(first), period_(period) {}

  // The time of the next poll, once the poll in progress ended at `now`.
  Clock::time_point Next(Clock::time_point now);
  unsigned long skipped() const { return skipped_; }

 private:
  Clock::time_point next_;
  Clock::duration period_;
  unsigned long skipped_ = 0;
};

}  // namespace cli

#endif  // TCPMODBUS_TOOLS_CLI_POLLSCHEDULE_H_
