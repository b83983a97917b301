// The one-way delay of every piece: a fixed part and, when asked, a jitter
// drawn evenly from 0 to its bound, from a seed so that a run can be
// repeated.
#pragma once

#include <chrono>
#include <random>

namespace tcpmodbus::proxy {

class Delay {
 public:
  Delay(int delayMs, int jitterMs, unsigned seed)
      : fixed_(std::chrono::milliseconds(delayMs)),
        jitter_(0,
                std::chrono::microseconds(std::chrono::milliseconds(jitterMs))
                    .count()),
        random_(seed) {}

  std::chrono::microseconds Next() {
    return fixed_ + std::chrono::microseconds(jitter_(random_));
  }

 private:
  std::chrono::microseconds fixed_;
  std::uniform_int_distribution<long long> jitter_;
  std::mt19937 random_;
};

}  // namespace tcpmodbus::proxy
