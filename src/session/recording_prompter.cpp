#include "session/recording_prompter.h"

namespace qm {

BoxAnswer RecordingPrompter::show(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) {
  std::string extra = iconName(icon);
  if (!title.empty()) extra += " title \"" + title + "\"";
  log_.record({"box", text, true, extra});
  if (whileShown) whileShown();
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  if (!answers_.empty()) {
    BoxAnswer a = answers_.front();
    answers_.pop_front();
    return a;
  }
  return buttons == BoxButtons::YesNoDefaultNo ? BoxAnswer::No : BoxAnswer::Yes;  // the default button
}

}  // namespace qm
