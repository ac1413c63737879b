#pragma once
// Message boxes on the desktop: a modal QMessageBox with the icon and buttons asked for, titled with the
// application's title when no title is given. Each box is also written to the output log, as in the other modes.
#include "platform/output_log.h"
#include "platform/prompter.h"

namespace qm {

class MessageBoxPrompter : public Prompter {
 public:
  explicit MessageBoxPrompter(OutputLog* log = nullptr) : log_(log) {}
  void setLog(OutputLog* log) { log_ = log; }
  BoxAnswer show(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) override;
  // The picture in the icon's place, each pixel drawn as a square large enough for a phone's camera.
  void showPicture(const std::string& text, const std::string& title, BoxIcon icon,
                   const std::vector<std::vector<bool>>& picture, const std::string& privateText = "") override;

 private:
  OutputLog* log_;
};

}  // namespace qm
