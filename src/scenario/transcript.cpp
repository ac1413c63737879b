#include "scenario/transcript.h"

#include "platform/clock_format.h"
#include "scenario/script.h"

namespace qm {

std::string Transcript::format(const OutputEvent& event) {
  std::string s = event.kind;
  if (!event.arg.empty() || event.quoted) {
    if (event.kind != "beep" && event.kind != "exit") s += " " + (event.quoted ? quote(event.arg) : event.arg);
  }
  if (!event.extra.empty()) s += " " + event.extra;
  return s;
}

void Transcript::record(const OutputEvent& event) {
  line(format(event));
  if (keeping_) pending_[event.kind].push_back(event);
  if (onRecord) onRecord(event);
}

void Transcript::input(const std::string& commandLine) {
  line("> " + commandLine);
}

void Transcript::line(const std::string& text) {
  if (!out_) return;
  *out_ << formatStamp(scheduler_.now()) << ' ' << text << '\n';
  out_->flush();
}

}  // namespace qm
