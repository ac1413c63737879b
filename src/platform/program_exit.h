#pragma once
// Ending the program "at once": no window is unloaded, nothing is saved. The real-time backend ends the process;
// the scenario backend records the end, stops the clock and unwinds to the runner with ProgramEnded.
namespace qm {

struct ProgramEnded {};

class ProgramExit {
 public:
  virtual ~ProgramExit() = default;
  [[noreturn]] virtual void endNow() = 0;
};

}  // namespace qm
