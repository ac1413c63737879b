#include "radio/call_audio.h"

#include <algorithm>
#include <cmath>

#include "radio/tx_audio.h"

namespace qm::radio {

namespace {

float gainOf(double db) {
  return static_cast<float>(std::pow(10.0, db / 20.0));
}

}  // namespace

CallAudio::CallAudio(int sampleRate, const CallAudioSettings& settings)
    : sampleRate_(sampleRate),
      settings_(settings),
      vox_(sampleRate, settings.vox),
      rxGain_(gainOf(settings.rxGainDb)),
      txGain_(gainOf(settings.txGainDb)),
      duck_(sampleRate, settings.duckDb),
      // The VOX's attack plus a block of its measuring: the sound that opened it.
      preroll_(static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(settings.vox.attackMs + 20) / 1000) {}

CallAudio::~CallAudio() = default;

// Made when a held call's audio first comes, afresh for each held spell: half a tone of before counts for nothing.
void CallAudio::listenForKeys() {
  keys_ = std::make_unique<DtmfDecoder>(sampleRate_, DtmfSettings{});
  keys_->onDigit = [this](char key) {
    if (onCallerKey) onCallerKey(key);
  };
}

void CallAudio::setLinked(bool linked) {
  if (linked == linked_) return;
  linked_ = linked;
  if (!linked) {
    keys_.reset();
    queue_.clear();
    speech_.clear();
    // A VOX left on by the last call's words must not key the transmitter for the next.
    vox_ = Vox(sampleRate_, settings_.vox);
    rxLevel_ = txLevel_ = -120;
  }
}

void CallAudio::setHeld(bool held) {
  if (held != held_) keys_.reset();
  held_ = held;
  if (!held_) return;
  queue_.clear();
  vox_ = Vox(sampleRate_, settings_.vox);
}

void CallAudio::setKeyed(bool keyed) {
  keyed_ = keyed;
  if (!keyed_) trimToPreroll();
}

void CallAudio::trimToPreroll() {
  if (queue_.size() > preroll_) queue_.erase(queue_.begin(), queue_.end() - static_cast<long>(preroll_));
}

void CallAudio::speak(const std::vector<float>& audio) {
  if (linked_) speech_.insert(speech_.end(), audio.begin(), audio.end());
}

void CallAudio::fromRadio(const float* in, float* out, std::size_t count, bool carrier) {
  const bool passes = linked_ && !muted_ && !held_ && carrier;
  const std::size_t spoken = std::min(count, speech_.size());
  if (!passes && spoken == 0) {
    std::fill_n(out, count, 0.0f);
    txLevel_ = -120;
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const float radio = passes ? in[i] * txGain_ : 0.0f;
    out[i] = std::clamp(radio + (i < spoken ? speech_[i] : 0.0f), -1.0f, 1.0f);
  }
  speech_.erase(speech_.begin(), speech_.begin() + static_cast<long>(spoken));
  txLevel_ = levelDbfs(out, count);
}

void CallAudio::fromCall(const float* in, std::size_t count) {
  if (!linked_) return;
  if (held_) {
    if (!keys_) listenForKeys();
    keys_->feed(in, count);
    return;
  }
  vox_.feed(in, count);
  rxLevel_ = levelDbfs(in, count);
  for (std::size_t i = 0; i < count; ++i) queue_.push_back(in[i] * rxGain_);
  if (!keyed_) trimToPreroll();
}

std::size_t CallAudio::mixInto(float* out, std::size_t count, bool programTalks) {
  std::size_t n = std::min(count, queue_.size());
  for (std::size_t i = 0; i < n; ++i) out[i] = std::clamp(out[i] + queue_[i] * duck_.next(programTalks), -1.0f, 1.0f);
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
  return n;
}

}  // namespace qm::radio
