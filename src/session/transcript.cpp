#include "session/transcript.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "platform/clock_format.h"
#include "platform/transcript_words.h"

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

void Transcript::holdInput(const std::string& commandLine) {
  held_ = "> " + commandLine;
}

void Transcript::releaseInput() {
  if (held_.empty()) return;
  std::string text = std::move(held_);
  held_.clear();
  line(text);
}

void Transcript::line(const std::string& text) {
  if (!held_.empty()) releaseInput();
  if (!out_) return;
  errno = 0;
  *out_ << formatStamp(scheduler_.now()) << ' ' << text << '\n';
  out_->flush();
  if (!*out_ && !writeFailed_) {
    writeFailed_ = true;
    std::cerr << "quillmere: the transcript cannot be written any more ("
              << (errno ? std::strerror(errno) : "write failed") << "); the program goes on without it" << std::endl;
  }
}

}  // namespace qm
