#pragma once
// Converts mono audio from one rate to another with libsamplerate, block by block, keeping the filter's state
// between blocks. The same rate passes through untouched.
#include <cstddef>
#include <vector>

struct SRC_STATE_tag;

namespace qm::radio {

class Resampler {
 public:
  Resampler(int fromRate, int toRate);
  // Output samples per input sample; 1 passes through.
  explicit Resampler(double ratio);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;
  // Appends the converted samples of `count` input samples to `out`.
  void process(const float* samples, std::size_t count, std::vector<float>& out);

 private:
  double ratio_;
  SRC_STATE_tag* state_ = nullptr;
};

}  // namespace qm::radio
