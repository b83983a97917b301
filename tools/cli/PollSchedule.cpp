#include "PollSchedule.h"

namespace cli {

PollSchedule::Clock::time_point PollSchedule::Next(Clock::time_point now) {
  next_ += period_;
  if (next_ < now) {
    // Whole periods up to the first boundary at or after `now`.
    const auto passed = (now - next_ + period_ - Clock::duration(1)) / period_;
    skipped_ += static_cast<unsigned long>(passed);
    next_ += passed * period_;
  }
  return next_;
}

}  // namespace cli
