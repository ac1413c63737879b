#pragma once
// The receiver's time-out (RxLimit): a carrier held longer than the limit is taken as a receiver that sticks (a
// squelch line stuck open, a radio left transmitting) and counts as gone until it really drops; the next carrier
// counts again. The clock is handed in, so the rule is tested without a radio.
#include <chrono>

namespace qm::radio {

class CarrierTimeout {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Change { None, Cut, Dropped };  // Cut: the limit ran out; Dropped: a carrier that was cut has gone

  // A zero limit never cuts.
  explicit CarrierTimeout(std::chrono::seconds limit) : limit_(limit) {}

  // The carrier as the squelch line or the VOX sees it: on each change, and now and then while it stays up.
  Change update(bool heard, Clock::time_point now);
  // The carrier that counts: the one heard, except once it has been held past the limit.
  bool carrier() const { return heard_ && !cut_; }
  bool cut() const { return cut_; }

 private:
  std::chrono::seconds limit_;
  bool heard_ = false;
  bool cut_ = false;
  Clock::time_point since_{};
};

}  // namespace qm::radio
