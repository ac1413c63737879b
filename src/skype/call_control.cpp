#include "skype/call_control.h"

#include <stdexcept>

#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "platform/vb_text.h"
#include "skype/api_text.h"
#include "skype/incoming_calls.h"

namespace qm {

namespace {

// "<- CALL 12 STATUS RINGING": which call is up, whether or not it ever reports a duration.
void followCallStatus(frmMain& main, const std::string& line) {
  if (!startsWith(line, "<- CALL ")) return;
  std::string rest = line.substr(8);
  std::size_t blank = rest.find(' ');
  if (blank == std::string::npos) return;
  std::string id = rest.substr(0, blank);
  if (!isApiCallId(id) || rest.compare(blank, 8, " STATUS ") != 0) return;
  std::string status = rest.substr(blank + 8);
  // A call from the telephone is up only once it is taken (incoming_calls.h): one refused must not hide the call that
  // is up.
  if (status == "RINGING" && main.program().incoming().presenting(id)) return;
  if (isCallEndStatus(status)) {
    if (main.callUp == id) main.callUp.clear();
  } else {
    main.callUp = id;
  }
}

}  // namespace

void wireCallControl(frmMain& main) {
  main.Command17.Click = [&main] { main.HangUp(); };
  main.cmdAnswer.Click = [&main] { main.program().incoming().answer("the operator"); };
  main.cmdReject.Click = [&main] { main.program().incoming().reject("the operator"); };
  main.Command3.Click = [&main] {
    main.txtSend.setText("SET MUTE ON");
    main.Dial_Phone();
  };
  main.Command4.Click = [&main] {
    main.txtSend.setText("SET MUTE OFF");
    main.Dial_Phone();
  };
}

void frmMain::HangUp() {
  if (!callUp.empty()) {
    txtSend.setText("SET CALL " + callUp + " STATUS FINISHED");
  } else if (!(startsWith(txtSend.Text(), "SET CALL ") && txtSend.Text().ends_with(" STATUS FINISHED"))) {
    return;  // no call is up; whatever the slot holds (a "CALL " command, a mute) is not a hang-up
  }
  Dial_Phone();
}

void trackCall(frmMain& main, const std::string& line) {
  followCallStatus(main, line);
  if (line.find("STATUS FINISHED") != std::string::npos) {
    auto minutes = parseNumber(main.Mins.Text());
    if (!minutes) throw std::runtime_error("Type mismatch");
    main.Counter.setCaption(formatNumber(*minutes * 60));
  }
  if (line.find(" DURATION ") != std::string::npos) {
    main.Timer2.setEnabled(true);
    // "<- CALL 1234 DURATION 7" -> "1234 DURATION 7" -> "1234 7" -> "1234"
    std::string id = replaceAll(line, "<- CALL ", "");
    id = replaceAll(id, " DURATION", "");
    id = id.substr(0, id.find(' '));
    main.ID.setText("SET CALL " + id + " STATUS FINISHED");
    main.txtSend.setText(main.ID.Text());
    // The duration in seconds, for the longest-call limit.
    auto seconds = parseInteger(line.substr(line.find(" DURATION ") + 10));
    if (seconds) main.program().access().callDuration(id, static_cast<long>(*seconds));
  }
}

}  // namespace qm
