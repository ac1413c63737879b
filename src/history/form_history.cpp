#include "history/form_history.h"

#include "app/program.h"
#include "echolink/echolink_app.h"

namespace qm {

FormHistory::FormHistory(Program& program)
    : Window(program.registry(), "FormHistory", "Connect & RF History"), program_(program) {}

FormHistory::~FormHistory() = default;

void FormHistory::Form_Load() {
  EchoLink = program_.backends().node.createApp();
  setCaption(Program::titleFor(Program::localCallsign(*EchoLink)) + "       Connect & RF History");
}

void FormHistory::closeRequest() {
  program_.unloadHistory();
}

}  // namespace qm
