#pragma once
// DTMF digits in the radio's receive audio, decoded by spandsp at 8 kHz (the audio is resampled from the sound
// card's rate). A held key is one digit: a digit is reported once when its tone has lasted long enough, and the same
// digit again only after a gap of silence.
#include <cstddef>
#include <functional>
#include <memory>

namespace qm::radio {

struct DtmfSettings {
  double minLevelDbfs = -50;     // weakest tone accepted, per tone, dB below full scale
  double maxTwistDb = 8;         // high group stronger than the low group by at most this (normal twist)
  double maxReverseTwistDb = 4;  // low group stronger than the high group by at most this
  int minToneMs = 30;            // a tone shorter than this is no digit
  int minGapMs = 30;             // silence needed before the same digit counts again
};

class DtmfDecoder {
 public:
  DtmfDecoder(int sampleRate, const DtmfSettings& settings);
  ~DtmfDecoder();
  // Receive audio at the rate given to the constructor, -1..1. Calls onDigit once per key press, from inside feed.
  void feed(const float* samples, std::size_t count);
  // True while a DTMF tone is present (a digit being held, or one just starting): for muting it out of the audio
  // that goes on (to the transmitter, the phone call, the network).
  bool toneActive() const;
  // The peak below which audio is silence to the decoder (it rests on it).
  float quietPeak() const;
  std::function<void(char digit)> onDigit;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::radio
