#pragma once
// A silent voice for scenarios and machines without speech: each utterance holds the thread for as long as speaking
// it would take, so the transmitter stays keyed and time passes as on the air.
//
// Length of an utterance, for a text of W words (runs of non-blank characters) holding C non-blank characters, at
// rate r:
//     milliseconds = 60000 * (0.55 * W + 0.10 * C) / wordsPerMinute(r)
// with wordsPerMinute(r) = 175 * 3^(r / 10) (voice.h): 189 ms a word plus 34 ms a character at the normal speed.
// The two weights are a least-squares fit to espeak-ng's English voice at 175 words per minute over the program's
// own phrases (a spelled callsign, "The Ireland Conference Has Connected" 1.9 s, "1 2 3 4 5 6 " 1.6 s), within about
// a fifth of the real length. An empty text takes no time.
#include <chrono>
#include <string_view>

#include "speech/voice.h"

namespace qm {

class Scheduler;

class EstimateVoice : public Voice {
 public:
  explicit EstimateVoice(Scheduler& scheduler) : scheduler_(scheduler) {}

  void setRate(int rate) override { rate_ = clampRate(rate); }
  // Nothing is ever queued, so there is nothing to discard: the thread is held for the utterance's length.
  void speak(const std::string& text) override;

  int rate() const { return rate_; }
  static std::chrono::milliseconds utteranceLength(std::string_view text, int rate);

 private:
  Scheduler& scheduler_;
  int rate_ = 0;
};

}  // namespace qm
