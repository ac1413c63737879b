#include "radio/vox.h"

#include <algorithm>
#include <cmath>

#include "radio/audio_level.h"

namespace qm::radio {

Vox::Vox(int sampleRate, const VoxSettings& settings)
    : sampleRate_(sampleRate), settings_(settings), threshold_(std::pow(10.0, settings.thresholdDbfs / 10.0)) {}

float Vox::thresholdPeak() const {
  return static_cast<float>(std::sqrt(threshold_));
}

bool Vox::feed(const float* samples, std::size_t count) {
  // Levels are plain RMS dBFS (a full-scale sine reads -3 dB), as `sox FILE -n stats` shows them.
  const std::size_t blockSize = static_cast<std::size_t>(sampleRate_ > 100 ? sampleRate_ / 100 : 1);
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(blockSize - blockFill_, count - done);
    blockSquares_ += sumOfSquares(samples + done, n);
    done += n;
    blockFill_ += n;
    if (blockFill_ < blockSize) continue;
    const double meanSquare = blockSquares_ / static_cast<double>(blockSize);
    levelDbfs_ = meanSquare > 1e-12 ? 10.0 * std::log10(meanSquare) : -120;
    blockSquares_ = 0;
    blockFill_ = 0;
    if (meanSquare >= threshold_) {
      if (loudMs_ < 1000000) loudMs_ += 10;
      quietMs_ = 0;
      if (!on_ && loudMs_ >= settings_.attackMs) on_ = true;
    } else {
      if (quietMs_ < 1000000) quietMs_ += 10;
      loudMs_ = 0;
      if (on_ && quietMs_ >= settings_.hangMs) on_ = false;
    }
  }
  return on_;
}

}  // namespace qm::radio
