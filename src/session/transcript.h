#pragma once
// The transcript: one line per event, "HH:MM:SS.mmm KIND ARGS", inputs echoed with ">" before their command. It also
// keeps the output events that expectations have not consumed yet.
#include <deque>
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "platform/output_log.h"
#include "platform/scheduler.h"

namespace qm {

class Transcript : public OutputLog {
 public:
  Transcript(const Scheduler& scheduler, std::ostream* out) : scheduler_(scheduler), out_(out) {}

  void record(const OutputEvent& event) override;
  void input(const std::string& commandLine);
  void line(const std::string& text);  // a free line, stamped
  // An input echoed only once it is known to run: written before the first line that follows it, or by
  // releaseInput; dropInput forgets it (a refused console line is not an input).
  void holdInput(const std::string& commandLine);
  void releaseInput();
  void dropInput() { held_.clear(); }

  // Unconsumed output events of one kind, oldest first.
  std::deque<OutputEvent>& pending(const std::string& kind) { return pending_[kind]; }
  // Keep events for expectations (scenario runs); off in headless runs, which only print.
  void setKeeping(bool on) { keeping_ = on; }

  static std::string format(const OutputEvent& event);

  // Told of every output event as it is recorded (the node simulator's live view of the air).
  std::function<void(const OutputEvent&)> onRecord;

 private:
  const Scheduler& scheduler_;
  std::ostream* out_;
  std::string held_;
  bool writeFailed_ = false;  // said once on standard error; the program goes on without its transcript
  bool keeping_ = true;
  std::map<std::string, std::deque<OutputEvent>> pending_;
};

}  // namespace qm
