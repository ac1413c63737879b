#include "radio/overrun_report.h"

#include <cstdint>

namespace qm::radio {

std::optional<std::string> OverrunReport::add(const AudioOverruns& more, MonotonicClock::time_point now) {
  unreported_.xruns += more.xruns;
  unreported_.receiveOverruns += more.receiveOverruns;
  unreported_.transmitUnderruns += more.transmitUnderruns;
  unreported_.callReceiveOverruns += more.callReceiveOverruns;
  unreported_.callTransmitOverruns += more.callTransmitOverruns;
  if (!unreported_.any() || (lastLine_ && now - *lastLine_ < every_)) return std::nullopt;
  std::string parts;
  auto add = [&](std::uint64_t count, const char* what) {
    if (count == 0) return;
    parts += (parts.empty() ? "" : ", ") + std::string(what) + " " + std::to_string(count);
  };
  add(unreported_.xruns, "JACK xruns");
  add(unreported_.receiveOverruns, "radio_in overruns");
  add(unreported_.transmitUnderruns, "radio_out underruns");
  add(unreported_.callReceiveOverruns, "call_in overruns");
  add(unreported_.callTransmitOverruns, "call_out overruns");
  const bool first = !lastLine_;
  lastLine_ = now;
  unreported_ = {};
  return "quillmere: audio lost: " + parts + (first ? "" : " (since the last report)");
}

}  // namespace qm::radio
