#include "skype/call_control.h"

#include <stdexcept>

#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "platform/vb_text.h"

namespace qm {

void wireCallControl(frmMain& main) {
  main.Command17.Click = [&main] { main.Dial_Phone(); };
  main.Command3.Click = [&main] {
    main.txtSend.setText("SET MUTE ON");
    main.Dial_Phone();
  };
  main.Command4.Click = [&main] {
    main.txtSend.setText("SET MUTE OFF");
    main.Dial_Phone();
  };
}

void trackCall(frmMain& main, const std::string& line) {
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
