#pragma once
// The speech engine as the announcement window uses it: one default voice with a signed rate whose zero is the normal
// speed, and a synchronous speak that first discards anything still queued. Backends: EstimateVoice (silent, takes the
// time speech would), EspeakVoice (libespeak-ng, in its own library), and RecordingVoice, which writes every utterance
// to the transcript before handing it on.
#include <string>

namespace qm {

class Voice {
 public:
  static constexpr int kSlowest = -5, kFastest = 5;

  virtual ~Voice() = default;
  // The speaking rate, -5 (slow) to 5 (fast), 0 the engine's normal speed; values outside are taken as the nearest
  // end. Applies from the next speak on.
  virtual void setRate(int rate) = 0;
  // Speaks `text` (UTF-8) and returns when it has been spoken. Throws std::exception when the engine fails.
  virtual void speak(const std::string& text) = 0;
};

// Normal speaking speed in words per minute, the speed of rate 0.
constexpr int kNormalWordsPerMinute = 175;

// The speed of a rate, shared by every backend: 175 words per minute times 3 to the power rate / 10, so each step of
// the slider changes the speed by the same factor and -5..5 spans 101 to 303 words per minute. This is the speech
// API scale on which rate 10 is three times and -10 a third of the normal speed, of which the slider covers the
// middle half.
int wordsPerMinute(int rate);

// `rate` limited to -5..5.
int clampRate(int rate);

}  // namespace qm
