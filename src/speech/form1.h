#pragma once
// The announcement window: the seventeen editable phrases and their language file, speech output over the air, and
// the station connect and disconnect announcements.
#include <memory>
#include <string>

#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;

class Form1 : public Window {
 public:
  explicit Form1(Program& program);
  ~Form1() override;
  void Form_Load();
  void closeRequest() override;

  std::string SayTheText;
  void SpeakTheText();

 private:
  Program& program_;
  std::unique_ptr<EchoLinkApp> EchoLink;
};

}  // namespace qm
