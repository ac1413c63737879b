#pragma once
// Test signals for the radio's DSP: DTMF digits with any frequency error, twist, level and timing, silence, noise.
#include <cmath>
#include <cstddef>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::radio::testsignals {

inline double lowHz(char digit) {
  static const std::string keys = "123A456B789C*0#D";
  const auto at = keys.find(digit);
  if (at == std::string::npos) throw std::invalid_argument(std::string("no DTMF digit: ") + digit);
  static const double rows[] = {697, 770, 852, 941};
  return rows[at / 4];
}

inline double highHz(char digit) {
  static const std::string keys = "123A456B789C*0#D";
  static const double columns[] = {1209, 1336, 1477, 1633};
  return columns[keys.find(digit) % 4];
}

inline float amplitude(double dbfs) {
  return static_cast<float>(std::pow(10.0, dbfs / 20.0));
}

struct Tone {
  double levelDbfs = -10;  // of each tone, peak (a full-scale sine is 0 dBFS)
  double twistDb = 0;      // the high tone this much stronger than the low one
  double deviation = 0;    // relative frequency error of both tones, e.g. 0.015
};

// Appends `ms` of the digit's tone pair to `out`.
inline void appendDigit(std::vector<float>& out, int rate, char digit, double ms, const Tone& tone = {}) {
  const double fl = lowHz(digit) * (1 + tone.deviation), fh = highHz(digit) * (1 + tone.deviation);
  const double al = amplitude(tone.levelDbfs - tone.twistDb / 2), ah = amplitude(tone.levelDbfs + tone.twistDb / 2);
  const auto n = static_cast<std::size_t>(std::lround(ms * rate / 1000));
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    out.push_back(static_cast<float>(al * std::sin(2 * std::numbers::pi * fl * t) +
                                     ah * std::sin(2 * std::numbers::pi * fh * t)));
  }
}

inline void appendSilence(std::vector<float>& out, int rate, double ms) {
  out.insert(out.end(), static_cast<std::size_t>(std::lround(ms * rate / 1000)), 0.0f);
}

// Each digit for toneMs, then gapMs of silence, with 100 ms of silence around the lot.
inline std::vector<float> digits(int rate, const std::string& keys, double toneMs, double gapMs,
                                 const Tone& tone = {}) {
  std::vector<float> out;
  appendSilence(out, rate, 100);
  for (char key : keys) {
    appendDigit(out, rate, key, toneMs, tone);
    appendSilence(out, rate, gapMs);
  }
  appendSilence(out, rate, 100);
  return out;
}

// Adds white Gaussian noise of the given RMS level (dBFS, a full-scale sine reads -3).
inline void addNoise(std::vector<float>& audio, double rmsDbfs, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::normal_distribution<float> gauss(0.0f, amplitude(rmsDbfs));
  for (float& x : audio) x += gauss(random);
}

}  // namespace qm::radio::testsignals
