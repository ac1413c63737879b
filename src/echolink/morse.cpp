#include "echolink/morse.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace qm {

namespace {

struct Code {
  char c;
  const char* code;
};

constexpr Code kCodes[] = {
    {'A', ".-"},     {'B', "-..."},   {'C', "-.-."},   {'D', "-.."},     {'E', "."},       {'F', "..-."},
    {'G', "--."},    {'H', "...."},   {'I', ".."},     {'J', ".---"},    {'K', "-.-"},     {'L', ".-.."},
    {'M', "--"},     {'N', "-."},     {'O', "---"},    {'P', ".--."},    {'Q', "--.-"},    {'R', ".-."},
    {'S', "..."},    {'T', "-"},      {'U', "..-"},    {'V', "...-"},    {'W', ".--"},     {'X', "-..-"},
    {'Y', "-.--"},   {'Z', "--.."},   {'0', "-----"},  {'1', ".----"},   {'2', "..---"},   {'3', "...--"},
    {'4', "....-"},  {'5', "....."},  {'6', "-...."},  {'7', "--..."},   {'8', "---.."},   {'9', "----."},
    {'.', ".-.-.-"}, {',', "--..--"}, {'?', "..--.."}, {'\'', ".----."}, {'!', "-.-.--"},  {'/', "-..-."},
    {'(', "-.--."},  {')', "-.--.-"}, {'&', ".-..."},  {':', "---..."},  {';', "-.-.-."},  {'=', "-...-"},
    {'+', ".-.-."},  {'-', "-....-"}, {'_', "..--.-"}, {'"', ".-..-."},  {'$', "...-..-"}, {'@', ".--.-."},
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr int kEdgeMicroseconds = 5000;
constexpr double kAmplitude = 0.5 * 32767;  // half of full scale leaves room for whatever mixes it

}  // namespace

std::optional<std::string_view> morseCode(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const Code& k : kCodes)
    if (k.c == c) return std::string_view(k.code);
  return std::nullopt;
}

std::vector<MorseElement> morseTiming(std::string_view text) {
  std::vector<MorseElement> out;
  auto gap = [&](int units) {
    // A longer gap replaces a shorter one that ends the list (a word gap after a character).
    if (!out.empty() && !out.back().keyed) {
      if (out.back().units < units) out.back().units = units;
      return;
    }
    out.push_back({false, units});
  };
  bool characterSent = false;  // since the last word gap
  for (char c : text) {
    if (isBlank(c)) {
      gap(7);
      characterSent = false;
      continue;
    }
    auto code = morseCode(c);
    if (!code) continue;
    if (characterSent) gap(3);
    for (std::size_t i = 0; i < code->size(); ++i) {
      if (i > 0) gap(1);
      out.push_back({true, (*code)[i] == '-' ? 3 : 1});
    }
    characterSent = true;
  }
  return out;
}

namespace {

// Samples per unit, rounded once so that every element is a whole number of units long.
std::int64_t unitSamples(int sampleRate, int wpm) {
  return std::llround(sampleRate * 1.2 / wpm);
}

}  // namespace

std::chrono::milliseconds morseDuration(std::string_view text, int wpm) {
  if (wpm < 1 || wpm > 100) throw std::invalid_argument("Morse speed is 1 to 100 words per minute");
  std::int64_t units = 0;
  for (const MorseElement& e : morseTiming(text)) units += e.units;
  return std::chrono::milliseconds(std::llround(units * 1200.0 / wpm));
}

std::vector<std::int16_t> renderMorse(const std::string& text, int sampleRate, int wpm) {
  if (sampleRate < 1000 || sampleRate > 384000)
    throw std::invalid_argument("Morse audio takes 1000 to 384000 samples per second");
  if (wpm < 1 || wpm > 100) throw std::invalid_argument("Morse speed is 1 to 100 words per minute");
  const std::int64_t unit = unitSamples(sampleRate, wpm);
  const std::vector<MorseElement> timing = morseTiming(text);
  std::int64_t total = 0;
  for (const MorseElement& e : timing) total += e.units * unit;
  std::vector<std::int16_t> out;
  out.reserve(static_cast<std::size_t>(total));

  const double step = 2 * std::numbers::pi * kMorseToneHz / sampleRate;
  const std::int64_t edgeSamples = std::int64_t{sampleRate} * kEdgeMicroseconds / 1'000'000;
  for (const MorseElement& e : timing) {
    const std::int64_t n = e.units * unit;
    if (!e.keyed) {
      out.insert(out.end(), static_cast<std::size_t>(n), 0);
      continue;
    }
    const std::int64_t edge = std::max<std::int64_t>(1, std::min(edgeSamples, n / 2));
    for (std::int64_t i = 0; i < n; ++i) {
      // Raised-cosine envelope: 0 to 1 over the first `edge` samples, 1 to 0 over the last.
      double envelope = 1.0;
      std::int64_t fromEdge = std::min(i, n - 1 - i);
      if (fromEdge < edge) envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * (fromEdge + 0.5) / edge);
      double v = kAmplitude * envelope * std::sin(step * static_cast<double>(i));
      out.push_back(static_cast<std::int16_t>(std::lround(v)));
    }
  }
  return out;
}

}  // namespace qm
