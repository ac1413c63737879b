#include "access/call_limits.h"

namespace qm {

int CallLimits::callsInLastHour(TimePoint now) {
  while (!placed_.empty() && now - placed_.front() >= std::chrono::hours(1)) placed_.pop_front();
  return static_cast<int>(placed_.size());
}

CallLimits::TimePoint CallLimits::nextFree(TimePoint now) {
  callsInLastHour(now);
  return placed_.empty() ? now : placed_.front() + std::chrono::hours(1);
}

std::vector<CallLimits::TimePoint> CallLimits::calls(TimePoint now) {
  callsInLastHour(now);
  return {placed_.begin(), placed_.end()};
}

}  // namespace qm
