#include "echolink_net/flood_limits.h"

#include <algorithm>
#include <cmath>

namespace qm::echolink_net {

namespace {
constexpr std::size_t kRemembered = 4096;  // stations remembered at once: beyond, a flood of new ones is ignored
}

void ConnectLimiter::forgetOld(FloodClock::time_point now) {
  while (!taken_.empty() && now - taken_.front() >= std::chrono::minutes(1)) taken_.pop_front();
  if (seen_.size() < kRemembered / 2) return;
  for (auto it = seen_.begin(); it != seen_.end();) {
    const Seen& s = it->second;
    bool recent =
        (s.wasTaken && now - s.taken < limits_.stationPause) || (s.wasTold && now - s.told < limits_.stationPause);
    it = recent ? std::next(it) : seen_.erase(it);
  }
}

ConnectLimiter::Verdict ConnectLimiter::judge(const std::string& call, const std::string& address,
                                              FloodClock::time_point now) {
  forgetOld(now);
  if (seen_.size() >= kRemembered) return Verdict::Ignore;
  Seen& byCall = seen_["call " + call];
  Seen& byAddress = seen_["address " + address];
  auto within = [&](const Seen& s) { return s.wasTaken && now - s.taken < limits_.stationPause; };
  auto toldLately = [&](const Seen& s) { return s.wasTold && now - s.told < limits_.stationPause; };
  if (within(byCall) || within(byAddress)) {
    reason_ = "a station may connect again only " + std::to_string(limits_.stationPause.count()) +
              " seconds after it last connected";
  } else if (static_cast<int>(taken_.size()) >= limits_.perMinute) {
    reason_ = "too many stations connected in the last minute; try again in a minute";
  } else {
    for (Seen* s : {&byCall, &byAddress}) {
      s->taken = now;
      s->wasTaken = true;
    }
    taken_.push_back(now);
    return Verdict::Take;
  }
  if (toldLately(byCall) || toldLately(byAddress)) return Verdict::Ignore;
  for (Seen* s : {&byCall, &byAddress}) {
    s->told = now;
    s->wasTold = true;
  }
  return Verdict::Refuse;
}

std::size_t AudioBudget::take(std::size_t count, FloodClock::time_point now) {
  if (tokens_ < 0) {
    tokens_ = cushion_;
  } else {
    double seconds = std::chrono::duration<double>(now - last_).count();
    tokens_ = std::min(cushion_, tokens_ + std::max(0.0, seconds) * rate_);
  }
  last_ = now;
  auto let = std::min(count, static_cast<std::size_t>(std::floor(tokens_)));
  tokens_ -= static_cast<double>(let);
  dropped_ += count - let;
  return let;
}

}  // namespace qm::echolink_net
