#include "speech/form1.h"

#include "app/program.h"
#include "app/version.h"
#include "echolink/echolink_app.h"

namespace qm {

Form1::Form1(Program& program)
    : Window(program.registry(), "Form1", std::string(kProductName) + "                 TTS Text Language Changer"),
      program_(program) {}

Form1::~Form1() = default;

void Form1::Form_Load() {
  EchoLink = program_.backends().node.createApp();
}

void Form1::closeRequest() {}

}  // namespace qm
