#include "radio/dtmf_mute.h"

#include <algorithm>

namespace qm::radio {

DtmfMute::DtmfMute(DtmfDecoder& decoder, int sampleRate, int delayMs)
    : decoder_(decoder),
      delayMs_(std::max(0, delayMs)),
      step_(std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate) / 1000)),
      // The decoder sees a tone's end two blocks (25 ms) late; the delayed audio still holds the tone's last
      // (delay - 25) ms then, and a little more for the resampler's own delay.
      holdSamples_(static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(delayMs_ + 10) / 1000),
      rampSamples_(std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate) * 3 / 1000)),
      line_(std::max<std::size_t>(1, static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(delayMs_) / 1000)),
      sinceTone_(holdSamples_ + 1) {}

void DtmfMute::process(const float* in, float* out, std::size_t count) {
  const float rampStep = 1.0f / static_cast<float>(rampSamples_);
  for (std::size_t done = 0; done < count;) {
    const std::size_t n = std::min(step_, count - done);
    decoder_.feed(in + done, n);
    if (decoder_.toneActive())
      sinceTone_ = 0;
    else
      sinceTone_ = std::min(sinceTone_ + n, holdSamples_ + 1);
    const bool muted = sinceTone_ <= holdSamples_;
    if (!muted && gain_ >= 1.0f) {
      delay(in + done, out + done, n);  // nearly always: no tone near, the audio passes as it is
      done += n;
      continue;
    }
    for (std::size_t i = done; i < done + n; ++i) {
      gain_ = muted ? std::max(0.0f, gain_ - rampStep) : std::min(1.0f, gain_ + rampStep);
      const float delayed = line_[head_];
      line_[head_] = in[i];
      head_ = head_ + 1 == line_.size() ? 0 : head_ + 1;
      out[i] = delayed * gain_;
    }
    done += n;
  }
}

// The delay line alone, in at most two runs around the ring.
void DtmfMute::delay(const float* in, float* out, std::size_t count) {
  while (count > 0) {
    const std::size_t run = std::min(count, line_.size() - head_);
    float* slot = line_.data() + head_;
    for (std::size_t i = 0; i < run; ++i) {
      const float delayed = slot[i];
      slot[i] = in[i];
      out[i] = delayed;
    }
    head_ = head_ + run == line_.size() ? 0 : head_ + run;
    in += run;
    out += run;
    count -= run;
  }
}

}  // namespace qm::radio
