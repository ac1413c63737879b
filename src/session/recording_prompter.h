#pragma once
// Message boxes for headless and scenario runs: each box is a transcript line ("box" with its icon), answered with
// its default button unless an answer was preset.
#include <deque>
#include <functional>

#include "platform/output_log.h"
#include "platform/prompter.h"

namespace qm {

class RecordingPrompter : public Prompter {
 public:
  explicit RecordingPrompter(OutputLog& log) : log_(log) {}
  BoxAnswer show(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) override;
  // The answer to the next question box.
  void presetAnswer(BoxAnswer a) { answers_.push_back(a); }
  // Runs while a box is up, before it is answered (a scenario lets time pass there, as a person reading it would).
  std::function<void()> whileShown;

 private:
  OutputLog& log_;
  std::deque<BoxAnswer> answers_;
};

}  // namespace qm
