#pragma once
// The call limits: at most so many calls placed in any sixty minutes, and a longest call.
#include <chrono>
#include <deque>
#include <vector>

namespace qm {

class CallLimits {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  void setCallsPerHour(int n) { callsPerHour_ = n; }
  int callsPerHour() const { return callsPerHour_; }

  // The calls placed in the sixty minutes before `now`.
  int callsInLastHour(TimePoint now);
  // Whether one more call may be placed at `now`.
  bool mayPlace(TimePoint now) { return callsPerHour_ <= 0 || callsInLastHour(now) < callsPerHour_; }
  void placed(TimePoint now) { placed_.push_back(now); }
  // When the oldest call of the last hour leaves it, so that one more may be placed.
  TimePoint nextFree(TimePoint now);

  // The calls of the last hour, oldest first, to keep them across a restart; and taking them back.
  std::vector<TimePoint> calls(TimePoint now);
  void restore(const std::vector<TimePoint>& calls) { placed_.assign(calls.begin(), calls.end()); }

 private:
  int callsPerHour_ = 0;
  std::deque<TimePoint> placed_;  // oldest first, only the last hour kept
};

}  // namespace qm
