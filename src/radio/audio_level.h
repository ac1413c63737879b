#pragma once
// The sums behind every level, VOX and quiet reading. Eight independent float lanes, so the compiler keeps them in
// one vector register: the receive path measures every sample of radio_in, and this is most of its time when idle.
// A float lane of a block of up to a few thousand samples of -1..1 is exact to well under 0.01 dB.
#include <algorithm>
#include <cmath>
#include <cstddef>

namespace qm::radio {

inline double sumOfSquares(const float* samples, std::size_t count) {
  float lane[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8)
    for (std::size_t k = 0; k < 8; ++k) lane[k] += samples[i + k] * samples[i + k];
  double sum = 0;
  for (float l : lane) sum += l;
  for (; i < count; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return sum;
}

// The largest magnitude, in the same eight lanes (a maximum over one lane needs no reordering, so it vectorises).
inline float peakOf(const float* samples, std::size_t count) {
  float lane[8] = {};
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8)
    for (std::size_t k = 0; k < 8; ++k) {
      const float m = samples[i + k] < 0 ? -samples[i + k] : samples[i + k];
      lane[k] = lane[k] < m ? m : lane[k];
    }
  float peak = 0;
  for (float l : lane) peak = peak < l ? l : peak;
  for (; i < count; ++i) peak = std::max(peak, std::abs(samples[i]));
  return peak;
}

}  // namespace qm::radio
