#include "skype/caller_keys.h"

namespace qm {

bool CallerKeys::take(char key, Way way, TimePoint now) {
  if (way == Way::Tone) {
    if (events_) return false;
    lastTone_ = key;
    toneAt_ = now;
    return true;
  }
  const bool first = !events_;
  events_ = true;
  return !(first && lastTone_ == key && now - toneAt_ < kSamePress);
}

}  // namespace qm
