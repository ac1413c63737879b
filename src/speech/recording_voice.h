#pragma once
// Writes every utterance to the output log ("say", the text, "rate N") and hands it on to the voice that speaks it,
// so the transcript shows what went on the air whichever engine is in use.
#include "platform/output_log.h"
#include "speech/voice.h"

namespace qm {

class RecordingVoice : public Voice {
 public:
  RecordingVoice(OutputLog& log, Voice* target) : log_(log), target_(target) {}

  // The voice that speaks; none records only.
  void setTarget(Voice* target) { target_ = target; }
  Voice* target() const { return target_; }

  void setRate(int rate) override {
    rate_ = clampRate(rate);
    if (target_) target_->setRate(rate);
  }
  void speak(const std::string& text) override {
    log_.record({"say", text, true, "rate " + std::to_string(rate_)});
    if (target_) target_->speak(text);
  }

 private:
  OutputLog& log_;
  Voice* target_;
  int rate_ = 0;
};

}  // namespace qm
