#pragma once
// Audio lost told on standard error, as JACK's own example clients do, but at most once a minute: the first loss at
// once, then what was lost since the last line. The time is handed in.
#include <chrono>
#include <optional>
#include <string>

#include "radio/audio_port.h"
#include "radio/monotonic_clock.h"

namespace qm::radio {

class OverrunReport {
 public:
  explicit OverrunReport(std::chrono::seconds every = std::chrono::minutes(1)) : every_(every) {}
  // Audio lost since the last call; the line to print now, if one is due.
  std::optional<std::string> add(const AudioOverruns& more, MonotonicClock::time_point now);

 private:
  std::chrono::seconds every_;
  AudioOverruns unreported_;
  std::optional<MonotonicClock::time_point> lastLine_;
};

}  // namespace qm::radio
