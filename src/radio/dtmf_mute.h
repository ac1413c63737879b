#pragma once
// Cuts DTMF tones out of the receive audio that goes on (to the transmitter, the phone call, the network). The
// decoder recognises a tone only some 25 ms after it begins, so the audio is delayed by a little more than that:
// when the tone is recognised, its start has not yet left, and it is muted with the rest.
#include <cstddef>
#include <vector>

#include "radio/dtmf_decoder.h"

namespace qm::radio {

class DtmfMute {
 public:
  static constexpr int kDefaultDelayMs = 40;
  DtmfMute(DtmfDecoder& decoder, int sampleRate, int delayMs = kDefaultDelayMs);
  // Feeds `in` to the decoder and writes to `out` (which may be `in`) the same audio `delayMs` later, silent where
  // the decoder heard a tone.
  void process(const float* in, float* out, std::size_t count);
  int delayMs() const { return delayMs_; }

 private:
  void delay(const float* in, float* out, std::size_t count);

  DtmfDecoder& decoder_;
  int delayMs_;
  std::size_t step_;         // samples fed to the decoder between looks at toneActive()
  std::size_t holdSamples_;  // how long the mute stays after the decoder last heard a tone
  std::size_t rampSamples_;  // a short fade in and out, so the cut does not click
  std::vector<float> line_;  // the delay line, a ring of delay samples
  std::size_t head_ = 0;
  std::size_t sinceTone_;  // samples since the decoder last heard a tone
  float gain_ = 1;
};

}  // namespace qm::radio
