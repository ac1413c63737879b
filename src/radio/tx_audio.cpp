#include "radio/tx_audio.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "echolink/morse.h"
#include "radio/audio_level.h"

namespace qm::radio {

double amplitudeOf(double dbfs) {
  return std::pow(10.0, std::min(dbfs, 0.0) / 20.0);
}

std::vector<float> renderCw(const std::string& text, int sampleRate, int toneHz, int wpm, double levelDbfs) {
  const double unitSeconds = 1.2 / std::clamp(wpm, 1, 100);
  const auto unit = static_cast<std::size_t>(unitSeconds * sampleRate);
  const auto edge = std::min<std::size_t>(static_cast<std::size_t>(0.005 * sampleRate), unit / 2);
  const double amp = amplitudeOf(levelDbfs);
  const double step = 2 * std::numbers::pi * toneHz / sampleRate;
  std::vector<float> out;
  double phase = 0;
  for (const MorseElement& e : morseTiming(text)) {
    std::size_t n = unit * static_cast<std::size_t>(e.units);
    if (!e.keyed) {
      out.insert(out.end(), n, 0.0f);
      continue;
    }
    for (std::size_t i = 0; i < n; ++i) {
      double shape = 1;
      std::size_t fromEnd = n - 1 - i;
      if (i < edge) shape = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / edge);
      if (fromEnd < edge) shape = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(fromEnd) / edge);
      out.push_back(static_cast<float>(amp * shape * std::sin(phase)));
      phase += step;
    }
  }
  return out;
}

std::vector<float> prepareSpeech(const std::vector<std::int16_t>& samples, int fromRate, int toRate, double levelDbfs) {
  if (samples.empty() || fromRate <= 0 || toRate <= 0) return {};
  std::vector<float> in(samples.size());
  src_short_to_float_array(samples.data(), in.data(), static_cast<int>(samples.size()));
  std::vector<float> out;
  if (fromRate == toRate) {
    out = std::move(in);
  } else {
    double ratio = static_cast<double>(toRate) / fromRate;
    out.resize(static_cast<std::size_t>(static_cast<double>(in.size()) * ratio) + 16);
    SRC_DATA d{};
    d.data_in = in.data();
    d.input_frames = static_cast<long>(in.size());
    d.data_out = out.data();
    d.output_frames = static_cast<long>(out.size());
    d.src_ratio = ratio;
    if (src_simple(&d, SRC_SINC_FASTEST, 1) != 0) return {};
    out.resize(static_cast<std::size_t>(d.output_frames_gen));
  }
  float peak = 0;
  for (float s : out) peak = std::max(peak, std::abs(s));
  if (peak > 0) {
    auto gain = static_cast<float>(amplitudeOf(levelDbfs) / peak);
    for (float& s : out) s *= gain;
  }
  return out;
}

double levelDbfs(const float* samples, std::size_t count) {
  if (count == 0) return -120;
  double rms = std::sqrt(sumOfSquares(samples, count) / static_cast<double>(count));
  return rms <= 1e-6 ? -120 : std::max(-120.0, 20 * std::log10(rms));
}

}  // namespace qm::radio

namespace qm::radio {

Duck::Duck(int sampleRate, double duckDb)
    : ducked_(static_cast<float>(std::pow(10.0, duckDb / 20.0))),
      down_(1.0f / static_cast<float>(std::max(1, sampleRate / 500))),
      up_(1.0f / static_cast<float>(std::max(1, sampleRate / 100))) {}

}  // namespace qm::radio
