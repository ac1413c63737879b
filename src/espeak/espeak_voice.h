#pragma once
// The espeak-ng voice: the engine's default (English) voice, synthesized synchronously into samples, which are then
// played on the default sound device, appended to the air recording, or both.
//
// Rate: the slider's -5..5 maps onto espeak's speed in words per minute as wordsPerMinute (voice.h):
//     speed = 175 * 3^(rate / 10)  ->  -5: 101, -3: 126, 0: 175 (espeak's normal speed), 3: 243, 5: 303
// which stays inside espeak's 80..450.
//
// Time: speaking holds the program's thread for the length of the speech. When the samples are played aloud, the
// playing itself takes that long; otherwise (no sound device, or playing switched off as in scenario runs) the
// scheduler is held for the length of the samples, so the transmitter stays keyed exactly as long either way.
//
// A sink (the radio node's transmitter) takes the samples instead of the sound device and the air recording: the
// voice hands them over and holds the thread for their length, while the sink plays them on its own thread.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "espeak/alsa_playback.h"
#include "speech/voice.h"

namespace qm {

class Scheduler;
class AirRecording;

class EspeakVoice : public Voice {
 public:
  struct Settings {
    bool playAloud = true;           // play on the sound device
    std::string device = "default";  // the ALSA device
    // When set, every utterance's samples (at the engine's rate) go here instead of the device and the recording.
    std::function<void(const std::vector<std::int16_t>& samples, int sampleRate)> sink;
  };

  // `air` may be null: no air recording.
  EspeakVoice(Scheduler& scheduler, AirRecording* air, Settings settings);
  ~EspeakVoice() override;

  // False when espeak-ng could not start (no voice data); speak then throws. The reason is in problem().
  bool available() const { return sampleRate_ > 0; }
  const std::string& problem() const { return problem_; }
  // Told once of anything that goes wrong with the sound device, so a person hears of it.
  std::function<void(const std::string&)> onProblem;

  void setRate(int rate) override { rate_ = clampRate(rate); }
  // Discards anything still being synthesized or played, then speaks the text and returns when it has been spoken.
  void speak(const std::string& text) override;

  // The samples of the last utterance, at sampleRate().
  const std::vector<std::int16_t>& lastUtterance() const { return samples_; }
  int sampleRate() const { return sampleRate_; }

 private:
  Scheduler& scheduler_;
  AirRecording* air_;
  Settings settings_;
  AlsaPlayback playback_;
  bool playbackReported_ = false;
  int sampleRate_ = 0;
  int rate_ = 0;
  std::string problem_;
  std::vector<std::int16_t> samples_;
};

}  // namespace qm
