#include "radio/network_audio.h"

#include <algorithm>

namespace qm::radio {

NetworkAudio::NetworkAudio(int sampleRate, double duckDb, std::chrono::milliseconds lead)
    : duck_(sampleRate, duckDb),
      lead_(static_cast<std::size_t>(std::max(0, sampleRate)) * static_cast<std::size_t>(lead.count()) / 1000) {}

void NetworkAudio::add(const float* samples, std::size_t count, std::size_t ahead) {
  if (count == 0) return;
  // A new talk, or one that went on after everything had played out (a pause shorter than the floor's hang).
  if (!talking_ || (queue_.empty() && ahead == 0)) {
    talking_ = true;
    const std::size_t already = ahead + queue_.size();
    if (already < lead_) queue_.insert(queue_.end(), lead_ - already, 0.0f);
  }
  queue_.insert(queue_.end(), samples, samples + count);
}

void NetworkAudio::delay(std::size_t samples) {
  queue_.insert(queue_.begin(), samples, 0.0f);
}

void NetworkAudio::clear() {
  queue_.clear();
  talking_ = false;
}

std::size_t NetworkAudio::mixInto(float* out, std::size_t count, bool programTalks) {
  const std::size_t n = std::min(count, queue_.size());
  for (std::size_t i = 0; i < n; ++i) out[i] = std::clamp(out[i] + queue_[i] * duck_.next(programTalks), -1.0f, 1.0f);
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
  return n;
}

}  // namespace qm::radio
