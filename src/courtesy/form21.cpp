#include "courtesy/form21.h"

#include "app/program.h"
#include "echolink/echolink_app.h"

namespace qm {

Form21::Form21(Program& program) : Window(program.registry(), "Form21", "Tollwick"), program_(program) {}

Form21::~Form21() = default;

void Form21::Form_Load() {
  EchoLink = program_.backends().node.createApp();
  setCaption(Program::titleFor(Program::localCallsign(*EchoLink)));
}

void Form21::closeRequest() {
  program_.end();
}

}  // namespace qm
