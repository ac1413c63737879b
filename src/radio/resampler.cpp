#include "radio/resampler.h"

#include <samplerate.h>

#include <stdexcept>
#include <string>

namespace qm::radio {

Resampler::Resampler(int fromRate, int toRate)
    : Resampler(fromRate > 0 && toRate > 0 ? static_cast<double>(toRate) / fromRate : 0.0) {}

Resampler::Resampler(double ratio) : ratio_(ratio) {
  if (!(ratio > 0)) throw std::invalid_argument("resampling ratio " + std::to_string(ratio));
  if (ratio == 1) return;
  int error = 0;
  // The fastest sinc converter still keeps the band up to 4 kHz clean at 8 kHz, at a small part of a core.
  state_ = src_new(SRC_SINC_FASTEST, 1, &error);
  if (!state_) throw std::runtime_error(std::string("libsamplerate: ") + src_strerror(error));
}

Resampler::~Resampler() {
  if (state_) src_delete(state_);
}

void Resampler::process(const float* samples, std::size_t count, std::vector<float>& out) {
  if (!state_) {
    out.insert(out.end(), samples, samples + count);
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(count * ratio_) + 16);
  SRC_DATA data{};
  data.data_in = samples;
  data.input_frames = static_cast<long>(count);
  data.data_out = out.data() + start;
  data.output_frames = static_cast<long>(out.size() - start);
  data.src_ratio = ratio_;
  data.end_of_input = 0;
  long produced = 0;
  // libsamplerate may hold back input when the output is short; loop until it has taken all of it.
  while (true) {
    if (int error = src_process(state_, &data))
      throw std::runtime_error(std::string("libsamplerate: ") + src_strerror(error));
    produced += data.output_frames_gen;
    data.data_in += data.input_frames_used;
    data.input_frames -= data.input_frames_used;
    if (data.input_frames <= 0) break;
    out.resize(out.size() + 64);
    data.data_out = out.data() + start + produced;
    data.output_frames = static_cast<long>(out.size() - start) - produced;
  }
  out.resize(start + static_cast<std::size_t>(produced));
}

}  // namespace qm::radio
