#include "control/transmit_time.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/backends.h"
#include "echolink/transmit_inhibit.h"
#include "history/history_log.h"
#include "platform/scheduler.h"

namespace qm {

TransmitTime::TransmitTime(Backends& backends, HistoryLog& log) : backends_(backends), log_(log) {
  if (backends_.inhibit) backends_.inhibit->onRequest = [this](bool) { sample(backends_.inhibit->node().pttState()); };
}

TransmitTime::~TransmitTime() {
  if (backends_.inhibit) backends_.inhibit->onRequest = nullptr;
}

std::int64_t TransmitTime::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(backends_.scheduler.now().time_since_epoch()).count();
}

// The program keys only to speak; the node keys by itself for a station talking, a call or its own Morse.
std::string TransmitTime::keyer() const {
  if (!backends_.inhibit) return "node";
  TransmitInhibit& inhibit = *backends_.inhibit;
  if (inhibit.requested()) return "speech";
  std::string node = inhibit.node().keyedBy();
  if (!node.empty()) return node;
  return inhibit.node().rx() ? "station" : "node";
}

void TransmitTime::sample(bool keyed) {
  if (keyed) {
    // What keys it may change while it stays keyed (a station after an announcement): the last one is kept.
    std::string by = keyer();
    const bool changed = !keyed_ || by != by_;
    if (!keyed_) sinceMs_ = nowMs();
    keyed_ = true;
    by_ = std::move(by);
    if (changed && onChange) onChange();
    return;
  }
  if (!keyed_) return;
  const std::int64_t ms = std::max<std::int64_t>(0, nowMs() - sinceMs_);
  doneMs_ += ms;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(ms) / 1000.0);
  const std::string line = std::string("TX -- ") + seconds + " s -- " + by_;
  keyed_ = false;
  sinceMs_ = 0;
  by_.clear();
  log_.append(line);
  if (onChange) onChange();
}

}  // namespace qm
