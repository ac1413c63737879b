#pragma once
// The system beep for headless and scenario runs: a "beep" line in the transcript.
#include "platform/bell.h"
#include "platform/output_log.h"

namespace qm {

class RecordingBell : public Bell {
 public:
  explicit RecordingBell(OutputLog& log) : log_(log) {}
  void beep() override { log_.record({"beep", "", false, ""}); }

 private:
  OutputLog& log_;
};

}  // namespace qm
