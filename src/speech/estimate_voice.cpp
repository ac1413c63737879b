#include "speech/estimate_voice.h"

#include <cmath>

#include "platform/scheduler.h"

namespace qm {

namespace {
constexpr double kWordWeight = 0.55, kCharacterWeight = 0.10;

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}
}  // namespace

std::chrono::milliseconds EstimateVoice::utteranceLength(std::string_view text, int rate) {
  long words = 0, characters = 0;
  bool inWord = false;
  for (char c : text) {
    if (isBlank(c)) {
      inWord = false;
      continue;
    }
    if (!inWord) ++words;
    inWord = true;
    if (!isContinuation(c)) ++characters;  // a UTF-8 sequence is one character
  }
  double ms = 60000.0 * (kWordWeight * words + kCharacterWeight * characters) / wordsPerMinute(rate);
  return std::chrono::milliseconds(std::lround(ms));
}

void EstimateVoice::speak(const std::string& text) {
  scheduler_.hold(utteranceLength(text, rate_));
}

}  // namespace qm
