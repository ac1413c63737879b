#pragma once
// Ending the program inside a scenario: the end is recorded, the clock stops, the node falls silent, and the
// handler that ended it unwinds to the runner.
#include <functional>

#include "platform/output_log.h"
#include "platform/program_exit.h"

namespace qm {

class ScenarioExit : public ProgramExit {
 public:
  ScenarioExit(OutputLog& log, std::function<void()> stopEverything)
      : log_(log), stopEverything_(std::move(stopEverything)) {}
  [[noreturn]] void endNow() override {
    if (!ended_) {
      ended_ = true;
      log_.record({"exit", "", false, ""});
      stopEverything_();
    }
    throw ProgramEnded{};
  }
  bool ended() const { return ended_; }

 private:
  OutputLog& log_;
  std::function<void()> stopEverything_;
  bool ended_ = false;
};

}  // namespace qm
