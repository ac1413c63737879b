#pragma once
// The node thread's time: a monotonic clock handed to its parts, so that back-off, stalls, RxLimit and TxLimit are
// tested with a clock the test moves. The real one reads steady_clock.
#include <chrono>

namespace qm::radio {

class MonotonicClock {
 public:
  using time_point = std::chrono::steady_clock::time_point;
  virtual ~MonotonicClock() = default;
  virtual time_point now() const = 0;
};

class SteadyClock final : public MonotonicClock {
 public:
  time_point now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace qm::radio
