#include "radio/receive_path.h"

#include <algorithm>
#include <cmath>

#include "radio/audio_level.h"
#include "radio/audio_port.h"

namespace qm::radio {

ReceivePath::ReceivePath(AudioPort& port, const MonotonicClock& clock, const RadioSettings& settings,
                         NodeGauges& gauges, std::unique_ptr<SquelchLine> squelch)
    : port_(port),
      clock_(clock),
      settings_(settings),
      gauges_(gauges),
      squelch_(std::move(squelch)),
      collector_(std::chrono::seconds(settings.dtmfTimeoutSeconds)),
      rxTimeout_(std::chrono::seconds(settings.rxLimitSeconds)) {}

void ReceivePath::start(int rate) {
  const RadioSettings& s = settings_;
  DtmfSettings d{s.dtmfMinLevelDbfs, s.dtmfMaxTwistDb, s.dtmfMaxReverseTwistDb, s.dtmfMinToneMs, s.dtmfMinGapMs};
  decoder_ = std::make_unique<DtmfDecoder>(rate, d);
  decoder_->onDigit = [this](char digit) { heardDigit(digit); };
  if (s.squelch == "vox")
    vox_ = std::make_unique<Vox>(rate, VoxSettings{s.voxThresholdDbfs, s.voxAttackMs, s.voxHangMs});
  dtmfMute_ = std::make_unique<DtmfMute>(*decoder_, rate);
}

void ReceivePath::receive() {
  if (!port_.isOpen() || !decoder_) return;
  double sum = 0;
  std::size_t total = 0;
  for (;;) {
    std::size_t n = port_.readReceive(scratch_.data(), scratch_.size());
    if (n == 0) break;
    if (vox_) {
      bool was = vox_->on();
      bool now = vox_->feed(scratch_.data(), n);
      if (now != was) carrierFromRadio(now);
    }
    sum += sumOfSquares(scratch_.data(), n);
    total += n;
    // The decoder hears everything; the call and the stations hear it DTMF-free.
    dtmfMute_->process(scratch_.data(), clean_.data(), n);
    if (onAudio) onAudio(clean_.data(), n);
  }
  if (total > 0) {
    double rms = std::sqrt(sum / static_cast<double>(total));
    gauges_.rxLevel = rms <= 1e-6 ? -120.0 : std::max(-120.0, 20 * std::log10(rms));
  }
}

void ReceivePath::heardDigit(char digit) {
  if (rxTimeout_.cut()) return;  // a receiver that sticks sends no commands
  collector_.digit(digit, clock_.now());
  if (onDigit) onDigit(digit);
}

// The carrier as the squelch line or the VOX sees it, on each change and at each turn of the loop; past RxLimit it
// counts as gone until it drops.
void ReceivePath::carrierFromRadio(bool heard) {
  switch (rxTimeout_.update(heard, clock_.now())) {
    case CarrierTimeout::Change::Cut:
      if (onProblem)
        onProblem("the receiver's carrier has been held for RxLimit (" + std::to_string(settings_.rxLimitSeconds) +
                      " s) and counts as gone: its audio no longer reaches the stations and the call until it drops",
                  true);
      break;
    case CarrierTimeout::Change::Dropped:
      if (onProblem) onProblem("the receiver's carrier held past RxLimit has dropped; the receiver counts again", true);
      break;
    case CarrierTimeout::Change::None:
      break;
  }
  passCarrier(rxTimeout_.carrier());
}

void ReceivePath::passCarrier(bool on) {
  if (on == gauges_.carrier.load() && on == collector_.carrierUp()) return;
  // What waits in the ring came before the squelch line changed: the last tones of a carrier that drops belong to it,
  // and what was heard before a carrier came goes to no station and no call (the loop may have rested up to a
  // second). The VOX decides in the audio itself.
  if (!vox_) receive();
  gauges_.carrier = on;
  auto digits = collector_.carrier(on, clock_.now());
  if (onCarrier) onCarrier(on);
  if (digits && onDigits) onDigits(*digits);
}

void ReceivePath::readSquelch() {
  if (!squelch_ || squelchLost_) return;
  std::string error;
  auto on = squelch_->carrier(error);
  if (!on) {
    squelchLost_ = true;
    if (onProblem)
      onProblem("squelch line " + settings_.squelch + ": " + error + "; the carrier counts as gone", false);
    carrierFromRadio(false);
    return;
  }
  carrierFromRadio(*on);
}

bool ReceivePath::moving() const {
  const bool polledLine = squelch_ && !squelchLost_ && squelch_->fd() < 0;
  return gauges_.carrier.load() || polledLine;
}

float ReceivePath::soundPeak() const {
  if (!decoder_) return 0;
  return vox_ ? std::min(decoder_->quietPeak(), vox_->thresholdPeak()) : decoder_->quietPeak();
}

void ReceivePath::service() {
  if (squelch_ && squelch_->fd() < 0) readSquelch();
  if (rxTimeout_.carrier()) carrierFromRadio(true);  // RxLimit runs out while nothing changes
  if (auto digits = collector_.poll(clock_.now()); digits && onDigits) onDigits(*digits);
}

}  // namespace qm::radio
