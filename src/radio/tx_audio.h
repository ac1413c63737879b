#pragma once
// What the node puts on radio_out, made at the JACK server's rate: Morse from the Morse generator's timing at the
// settings' tone, speed and level, and speech resampled and brought to its level.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace qm::radio {

// Full scale for a level in dBFS (0 dBFS is 1.0).
double amplitudeOf(double dbfs);
// `text` as Morse at `sampleRate`: a `toneHz` tone at `levelDbfs` peak, every element with 5 ms raised-cosine edges
// inside it so the timing stays exact and the tone does not click.
std::vector<float> renderCw(const std::string& text, int sampleRate, int toneHz, int wpm, double levelDbfs);
// 16-bit speech at `fromRate`, resampled to `toRate` and scaled so that its loudest sample is at `levelDbfs`.
std::vector<float> prepareSpeech(const std::vector<std::int16_t>& samples, int fromRate, int toRate, double levelDbfs);
// The RMS of `count` samples in dBFS; -120 for silence.
double levelDbfs(const float* samples, std::size_t count);

// The gain of audio that goes under the program's speech and Morse (the call, a station): 1, or `duckDb` while
// ducked, going down within 2 ms (before a Morse element's 5 ms edge has risen) and back up over 10 ms, so that the
// sum never peaks and the duck does not click.
class Duck {
 public:
  Duck(int sampleRate, double duckDb);
  // The gain for the next sample.
  float next(bool ducked) {
    const float target = ducked ? ducked_ : 1.0f;
    gain_ = gain_ < target ? std::min(target, gain_ + up_) : std::max(target, gain_ - down_);
    return gain_;
  }

 private:
  float ducked_;
  float down_, up_;  // per sample
  float gain_ = 1;
};

}  // namespace qm::radio
