#include "speech/voice.h"

#include <algorithm>
#include <cmath>

namespace qm {

int clampRate(int rate) {
  return std::clamp(rate, Voice::kSlowest, Voice::kFastest);
}

int wordsPerMinute(int rate) {
  return static_cast<int>(std::lround(kNormalWordsPerMinute * std::pow(3.0, clampRate(rate) / 10.0)));
}

}  // namespace qm
