#pragma once
// What the program does to the world, one event at a time: the transcript's output lines. Recording backends (the
// simulated node, the simulated Skype client, the voices, the prompter, the report) write here.
#include <string>

namespace qm {

struct OutputEvent {
  std::string kind;    // ptt, say, cw, chat, sent, notify, box, http, beep, exit
  std::string arg;     // what an expectation compares; empty for beep and exit
  bool quoted = true;  // written in quotes in the transcript ("on"/"off" are not)
  std::string extra;   // shown after the argument only: "rate 0", the box's icon, the report's URL
};

class OutputLog {
 public:
  virtual ~OutputLog() = default;
  virtual void record(const OutputEvent& event) = 0;
};

// A log that keeps nothing, for runs without a transcript.
class NullOutputLog : public OutputLog {
 public:
  void record(const OutputEvent&) override {}
};

}  // namespace qm
