#include "radio/transmitter.h"

namespace qm::radio {

Transmitter::Step Transmitter::update(bool wanted, bool audioLeft, Clock::time_point now) {
  Step step;
  bool busy = wanted || audioLeft;
  if (limited_ && !busy) limited_ = false;
  if (keyed_ && settings_.limit.count() > 0 && now - keyedAt_ >= settings_.limit) {
    keyed_ = false;
    limited_ = true;
    tailEnd_.reset();
    step.limitReached = true;
  }
  if (busy) {
    tailEnd_.reset();
    if (!keyed_ && !limited_) {
      keyed_ = true;
      keyedAt_ = now;
      step.keyedNow = true;
    }
  } else if (keyed_) {
    if (!tailEnd_) tailEnd_ = now + settings_.tail;
    if (now >= *tailEnd_) {
      keyed_ = false;
      tailEnd_.reset();
    }
  }
  step.keyed = keyed_;
  return step;
}

void Transmitter::cutOff() {
  // Also when not keyed now: a request that comes meanwhile waits until nothing asks.
  keyed_ = false;
  limited_ = true;
  tailEnd_.reset();
}

std::optional<Transmitter::Clock::time_point> Transmitter::deadline() const {
  if (!keyed_) return std::nullopt;
  std::optional<Clock::time_point> d = tailEnd_;
  if (settings_.limit.count() > 0) {
    auto limitEnd = keyedAt_ + settings_.limit;
    if (!d || limitEnd < *d) d = limitEnd;
  }
  return d;
}

}  // namespace qm::radio
