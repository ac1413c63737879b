#pragma once
// What the history keeps beyond its window: every line the history window logs, and every phone call, appended to
// the history log file in the state folder (see HistoryLogFile). Owned by the program, so it outlives a closed
// history window. A log file that cannot be written is reported to the operator once; the window goes on as before.
#include <memory>
#include <string>

#include "history/call_records.h"

namespace qm {

struct Backends;
class HistoryLogFile;

class HistoryLog {
 public:
  explicit HistoryLog(Backends& backends);
  ~HistoryLog();

  // Opens the file at start, so that a state folder that cannot be written is reported then.
  void open();
  // Appends one event line, stamped with the current date and time. Any part of the program may log here.
  void append(const std::string& line);
  // One line of the Skype traffic (the data panel's): a call that has just finished is logged.
  void callTraffic(const std::string& line);
  // The phone calls as the log follows them: the one in progress and the results of those that ended.
  const CallRecords& calls() const { return calls_; }

 private:
  void report();
  Backends& backends_;
  std::unique_ptr<HistoryLogFile> file_;  // none when the program keeps no state
  CallRecords calls_;
  bool reported_ = false;
};

}  // namespace qm
