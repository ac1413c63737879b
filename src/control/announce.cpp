#include "control/announce.h"

#include "app/program.h"
#include "platform/control.h"
#include "speech/form1.h"

namespace qm {

std::string phrase(Program& program, int n) {
  auto* box = dynamic_cast<TextBox*>(program.form1().control("Text" + std::to_string(n)));
  return box ? box->Text() : std::string();
}

void announce(Program& program, const std::string& text) {
  Form1& f = program.form1();
  f.SayTheText = text;
  f.SpeakTheText();
}

}  // namespace qm
