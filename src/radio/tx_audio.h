#pragma once
// What the node puts on radio_out, made at the JACK server's rate: Morse from the Morse generator's timing at the
// settings' tone, speed and level, and speech resampled and brought to its level.
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

}  // namespace qm::radio
