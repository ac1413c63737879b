#include "control/remote_control.h"

#include <algorithm>

#include "app/frm_main.h"
#include "app/program.h"
#include "echolink/transmit_inhibit.h"
#include "history/history_log.h"
#include "skype/incoming_calls.h"

namespace qm {

const std::vector<std::string>& RemoteControl::commands() {
  static const std::vector<std::string> names{"hangup",      "dtmf-control-on", "dtmf-control-off", "inhibit-on",
                                              "inhibit-off", "disconnect-all",  "disconnect",       "voice-test",
                                              "answer",      "reject"};
  return names;
}

bool RemoteControl::known(const std::string& command) {
  const auto& names = commands();
  return std::find(names.begin(), names.end(), command) != names.end();
}

void RemoteControl::log(const std::string& line) {
  program_.historyLog().append("Web: " + line);
}

bool RemoteControl::run(const std::string& command, const std::string& user, const std::string& station) {
  if (!known(command)) return false;
  frmMain& main = program_.main();
  // Logged first: a command that ends in an announcement is on record before the thread is held.
  log(user + ": " + command + (command == "disconnect" ? " " + station : ""));
  if (command == "hangup") {
    main.Command17.click();  // the main window's "Disconnect Call in Progress"
  } else if (command == "dtmf-control-on" || command == "dtmf-control-off") {
    main.Check1.setValue(command == "dtmf-control-on" ? 1 : 0);  // as the check box or the switch codes do
  } else if (command == "inhibit-on" || command == "inhibit-off") {
    inhibit_.set(command == "inhibit-on");
  } else if (command == "answer") {
    program_.incoming().answer("web user " + user);
  } else if (command == "reject") {
    program_.incoming().reject("web user " + user);
  } else if (command == "disconnect-all") {
    if (disconnectAll) disconnectAll();
  } else if (command == "disconnect") {
    if (disconnectStation) disconnectStation(station);
  } else if (command == "voice-test") {
    main.Command1.click();  // the main window's "Voice Test"
  }
  return true;
}

}  // namespace qm
