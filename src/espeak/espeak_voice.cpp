#include "espeak/espeak_voice.h"

#include <espeak-ng/speak_lib.h>

#include <chrono>
#include <stdexcept>

#include "echolink/air_recording.h"
#include "platform/scheduler.h"

namespace qm {

namespace {

// espeak-ng is one engine a process: started once, its sample rate (or the failure, as 0) kept.
int startEngine() {
  static const int sampleRate = [] {
    int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    return rate > 0 ? rate : 0;
  }();
  return sampleRate;
}

// Synthesis hands the samples over in pieces; each utterance passes its buffer as the user data.
int collect(short* samples, int count, espeak_EVENT* events) {
  if (samples && count > 0 && events) {
    auto* out = static_cast<std::vector<std::int16_t>*>(events->user_data);
    if (out) out->insert(out->end(), samples, samples + count);
  }
  return 0;  // go on
}

}  // namespace

EspeakVoice::EspeakVoice(Scheduler& scheduler, AirRecording* air, Settings settings)
    : scheduler_(scheduler), air_(air), settings_(std::move(settings)), playback_(settings_.device) {
  sampleRate_ = startEngine();
  if (!available()) {
    problem_ = "espeak-ng could not start (is espeak-ng-data installed?)";
    return;
  }
  espeak_SetSynthCallback(collect);
}

EspeakVoice::~EspeakVoice() = default;

void EspeakVoice::speak(const std::string& text) {
  if (!available()) throw std::runtime_error(problem_);
  espeak_Cancel();  // nothing queued may be spoken after this text
  samples_.clear();
  espeak_SetParameter(espeakRATE, wordsPerMinute(rate_), 0);
  espeak_ERROR err =
      espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &samples_);
  if (err != EE_OK) throw std::runtime_error("espeak-ng could not speak the text (error " + std::to_string(err) + ")");
  espeak_Synchronize();

  if (settings_.sink) {
    settings_.sink(samples_, sampleRate_);
  } else if (air_) {
    air_->append(samples_, sampleRate_);
  }
  if (settings_.playAloud && !settings_.sink) {
    if (playback_.play(samples_, sampleRate_)) return;  // playing took the utterance's time
    if (!playbackReported_ && onProblem) onProblem(playback_.problem() + "; speaking silently");
    playbackReported_ = true;
  }
  scheduler_.hold(std::chrono::milliseconds(static_cast<long long>(samples_.size()) * 1000 / sampleRate_));
}

}  // namespace qm
