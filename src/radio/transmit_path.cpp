#include "radio/transmit_path.h"

#include <algorithm>
#include <cmath>

#include "radio/audio_port.h"
#include "radio/jack_link.h"
#include "radio/tx_audio.h"

namespace qm::radio {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kTransmitAhead{100};  // transmit audio queued ahead of the server, at most
constexpr milliseconds kAirGap{420};         // between transmissions in the air recording
constexpr milliseconds kStationLead{100};    // a station's talk starts this far behind what is playing
constexpr double kStationDuckDb = -20;       // a station under the program's speech and Morse

}  // namespace

TransmitPath::TransmitPath(AudioPort& port, JackLink& link, const MonotonicClock& clock, const RadioSettings& settings,
                           NodeGauges& gauges, std::unique_ptr<PttLine> ptt)
    : port_(port),
      link_(link),
      clock_(clock),
      settings_(settings),
      gauges_(gauges),
      ptt_(std::move(ptt)),
      transmitter_({milliseconds(settings.txTailMs), std::chrono::seconds(settings.txLimitSeconds)}) {}

void TransmitPath::start(int rate) {
  const RadioSettings& s = settings_;
  fromStations_ = std::make_unique<NetworkAudio>(rate, kStationDuckDb, kStationLead);
  call_ = std::make_unique<CallAudio>(
      rate,
      CallAudioSettings{s.callPtt == "call", VoxSettings{s.callVoxThresholdDbfs, s.callVoxAttackMs, s.callVoxHangMs},
                        s.callRxGainDb, s.callTxGainDb, s.callDuckDb});
  call_->setMuted(callMuted_);
  call_->setHeld(callHeld_);
  call_->onCallerKey = [this](char key) {
    if (onCallerKey) onCallerKey(key);
  };
}

void TransmitPath::audioGone() {
  clearPending();
  if (call_) call_->setLinked(false);
  // A keying whose audio has nowhere to go is dead air: let go at once, keyed again only once nothing asks.
  transmitter_.cutOff();
  service();
}

void TransmitPath::setRequested(bool on) {
  requested_ = on;
  service();
}

void TransmitPath::setInhibit(bool on) {
  inhibit_ = on;
  if (on) clearPending();  // what was queued for the air is not sent later
  service();
}

void TransmitPath::setStationTalks(bool on) {
  stationTalks_ = on;
  if (!on && fromStations_) fromStations_->end();
  service();
}

void TransmitPath::close() {
  closing_ = true;
  clearPending();
  service();
  keyLine(false);
}

void TransmitPath::sendMorse(const std::string& text) {
  if (!port_.isOpen()) {
    if (onProblem) onProblem("JACK is not connected: the Morse \"" + text + "\" was not sent");
    return;
  }
  const RadioSettings& s = settings_;
  auto audio = renderCw(text, port_.sampleRate(), s.cwToneHz, s.cwSpeedWpm, s.cwLevelDbfs);
  pending_.insert(pending_.end(), audio.begin(), audio.end());
  morseQueued_ = true;
  service();
}

void TransmitPath::sendSpeech(const std::vector<std::int16_t>& samples, int sampleRate) {
  if (!port_.isOpen()) return;
  auto audio = prepareSpeech(samples, sampleRate, port_.sampleRate(), settings_.speechLevelDbfs);
  if (speechToCall_ && call_) call_->speak(audio);
  pending_.insert(pending_.end(), audio.begin(), audio.end());
  service();
}

bool TransmitPath::takesStationAudio() const {
  return port_.isOpen() && !closing_ && gauges_.keyed.load() && fromStations_;
}

void TransmitPath::stationAudio(const float* samples, std::size_t count) {
  if (!takesStationAudio()) return;
  fromStations_->add(samples, count, port_.transmitQueued());
  service();
}

void TransmitPath::setCallMuted(bool muted) {
  callMuted_ = muted;
  if (call_) call_->setMuted(muted);
}

void TransmitPath::setCallHeld(bool held) {
  callHeld_ = held;
  if (call_) call_->setHeld(held);
  service();
}

void TransmitPath::followCall(const std::string& peer) {
  if (!port_.isOpen() || !call_) return;
  bool linked = port_.followCall(peer);
  if (linked == call_->linked()) return;
  call_->setLinked(linked);
  service();
}

void TransmitPath::callHears(const float* samples, std::size_t count, bool carrier) {
  if (!call_ || !call_->linked()) return;
  count = std::min(count, callScratch_.size());
  call_->fromRadio(samples, callScratch_.data(), count, carrier);
  port_.writeCall(callScratch_.data(), count);
}

void TransmitPath::fromCall() {
  if (!port_.isOpen() || !call_) return;
  for (;;) {
    std::size_t n = port_.readCall(callScratch_.data(), callScratch_.size());
    if (n == 0) break;
    call_->fromCall(callScratch_.data(), n);
  }
  gauges_.callRxLevel = call_->receiveLevelDbfs();
  gauges_.callTxLevel = call_->transmitLevelDbfs();
}

bool TransmitPath::moving() const {
  const bool audioWaits = !pending_.empty() || (fromStations_ && fromStations_->queued() > 0) || !airPending_.empty() ||
                          (port_.isOpen() && port_.transmitQueued() > 0);
  return gauges_.keyed.load() || requested_ || stationTalks_ || audioWaits || (call_ && call_->linked());
}

void TransmitPath::keyLine(bool on) {
  if (on == gauges_.keyed.load()) return;
  if (ptt_) {
    std::string error;
    if (!ptt_->key(on, error) && onProblem)
      onProblem("PTT line " + settings_.ptt + ": " + error + (on ? "" : " (the transmitter may still be keyed)"));
  }
  gauges_.keyed = on;
  if (onLineChanged) onLineChanged();
}

void TransmitPath::service() {
  const bool open = port_.isOpen();
  if (!open) clearPending();  // audio cannot go anywhere
  // A keying whose audio does not move is a bare carrier: let go, as for a server that has gone.
  if (link_.stalled()) {
    clearPending();
    transmitter_.cutOff();
  }
  // Audio queued while the transmitter is held released could never go (it would hold it released for ever): it is
  // dropped, as what was queued when the hold began was.
  if (transmitter_.held() && !pending_.empty()) {
    clearPending();
    if (!toldDropped_ && onProblem)
      onProblem(
          "the transmitter is held released until nothing asks for it: what was queued meanwhile for the air "
          "was dropped");
    toldDropped_ = true;
  }
  if (!transmitter_.held()) toldDropped_ = false;
  const auto now = clock_.now();
  const bool callLinked = call_ && call_->linked();
  // With a call linked, its audio keeps the ring filled: only the program's own audio counts as audio left.
  const bool queuedAtServer = callLinked ? now < programUntil_ : open && port_.transmitQueued() > 0;
  const bool audioLeft = !pending_.empty() || (fromStations_ && fromStations_->queued() > 0) || queuedAtServer;
  const bool callWants = callLinked && call_->wantsTransmitter();
  const bool allowed = !closing_ && !inhibit_;
  auto step = transmitter_.update((requested_ || callWants || stationTalks_) && allowed, audioLeft && allowed, now);
  if (step.keyedNow) {
    keyLine(true);
    // The radio settles for TxDelay before audio: silence up to that instant at radio_out.
    if (open) {
      long frames = static_cast<long>(settings_.txDelayMs) * port_.sampleRate() / 1000 -
                    static_cast<long>(port_.framesUntilOutput());
      if (frames > 0) {
        const auto silence = static_cast<std::size_t>(frames);
        pending_.insert(pending_.begin(), silence, 0.0f);
        pendingLead_ += silence;
        if (call_) call_->delay(silence);
        if (fromStations_) fromStations_->delay(silence);
      }
    }
  }
  if (call_) call_->setKeyed(step.keyed);
  if (step.limitReached) {
    airGap();
    keyLine(false);
    clearPending();
    if (onProblem)
      onProblem("the transmitter was keyed for TxLimit (" + std::to_string(settings_.txLimitSeconds) +
                " s) and has been released; it keys again once it is no longer asked for");
  }
  if (!step.keyed && gauges_.keyed.load()) {
    keyLine(false);
    // The air recording keeps transmissions apart by a word space, so a Morse decoder reads them as words.
    airGap();
  }
  if (step.keyed) feed();
  port_.setTransmitBacklog(step.keyed && !pending_.empty());
  publishKeyedBy(step.keyed, callWants);
}

void TransmitPath::airGap() {
  if (onAir && port_.isOpen()) airPending_.insert(airPending_.end(), kAirGap.count() * port_.sampleRate() / 1000, 0.0f);
}

// What keys the line, for those watching: the program's request (speech), a call's far end, a station, or else the
// audio left over (Morse queued, or the tail of what keyed it last).
void TransmitPath::publishKeyedBy(bool keyed, bool callWants) {
  KeyedBy by = KeyedBy::None;
  if (keyed) {
    by = requested_                      ? KeyedBy::Speech
         : callWants                     ? KeyedBy::Call
         : stationTalks_                 ? KeyedBy::Station
         : morseQueued_                  ? KeyedBy::Morse
         : lastKeyedBy_ != KeyedBy::None ? lastKeyedBy_
                                         : KeyedBy::Morse;
    lastKeyedBy_ = by;
  } else {
    morseQueued_ = false;
    lastKeyedBy_ = KeyedBy::None;
  }
  gauges_.keyedBy.store(by);
}

void TransmitPath::feed() {
  const std::size_t callQueued = call_ ? call_->queued() : 0;
  const std::size_t stationQueued = fromStations_ ? fromStations_->queued() : 0;
  if (!port_.isOpen() || (pending_.empty() && callQueued == 0 && stationQueued == 0)) {
    gauges_.txLevel = -120.0;
    return;
  }
  const auto rate = static_cast<std::size_t>(port_.sampleRate());
  const std::size_t ahead = static_cast<std::size_t>(kTransmitAhead.count()) * rate / 1000;
  const std::size_t queued = port_.transmitQueued();
  if (queued >= ahead) return;
  std::size_t n = std::min(ahead - queued, std::max({pending_.size(), callQueued, stationQueued}));
  n = std::min(n, scratch_.size());
  const std::size_t program = std::min(n, pending_.size());
  std::copy_n(pending_.begin(), program, scratch_.begin());
  std::fill(scratch_.begin() + static_cast<long>(program), scratch_.begin() + static_cast<long>(n), 0.0f);
  // The program's speech and Morse first; a station and the call under them, ducked (TxDelay's silence is no
  // speech).
  const bool programTalks = requested_ || program > std::min(pendingLead_, program);
  if (fromStations_) fromStations_->mixInto(scratch_.data(), n, programTalks);
  if (call_) call_->mixInto(scratch_.data(), n, programTalks);
  if (program > 0)
    programUntil_ = clock_.now() + milliseconds((queued + program + port_.framesUntilOutput()) * 1000 / rate);
  const std::size_t put = port_.writeTransmit(scratch_.data(), n);
  const std::size_t taken = std::min(put, program);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(taken));
  pendingLead_ -= std::min(pendingLead_, taken);
  gauges_.txLevel = levelDbfs(scratch_.data(), put);
  if (onAir) airPending_.insert(airPending_.end(), scratch_.begin(), scratch_.begin() + static_cast<long>(put));
}

void TransmitPath::flushAir() {
  if (airPending_.empty()) return;
  std::vector<std::int16_t> pcm(airPending_.size());
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(airPending_[i], -1.0f, 1.0f) * 32767));
  airPending_.clear();
  if (onAir) onAir(std::move(pcm), port_.sampleRate());
}

void TransmitPath::clearPending() {
  pending_.clear();
  pendingLead_ = 0;
  if (fromStations_) fromStations_->clear();
}

}  // namespace qm::radio
