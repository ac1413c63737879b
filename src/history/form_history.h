#pragma once
// The history window: a time-stamped log of connects, RF activity and DTMF strings, four check boxes choosing what
// is logged, kept in the machine-wide quillmere_history.ini.
#include <memory>

#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;

class FormHistory : public Window {
 public:
  explicit FormHistory(Program& program);
  ~FormHistory() override;
  void Form_Load();
  void closeRequest() override;  // discards the window and its log

 private:
  Program& program_;
  std::unique_ptr<EchoLinkApp> EchoLink;
};

}  // namespace qm
