#pragma once
// Ending the program at once in real time: the transcript is flushed and the process ends, without unloading any
// window or saving anything.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/output_log.h"
#include "platform/program_exit.h"

namespace qm {

class RealExit : public ProgramExit {
 public:
  explicit RealExit(OutputLog& log) : log_(log) {}
  [[noreturn]] void endNow() override {
    log_.record({"exit", "", false, ""});
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(0);
  }

 private:
  OutputLog& log_;
};

}  // namespace qm
