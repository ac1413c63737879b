// Connecting to Skype, disconnecting, and sending one command.
#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "platform/clock_format.h"
#include "platform/scheduler.h"
#include "skype/api_text.h"
#include "skype/mod_main.h"

namespace qm {

void modMain::connectAction(bool fromTimer) {
  program().trap("cmdConnect", [&] {
    if (fromTimer) main_.Timer1.setEnabled(false);  // the automatic connect runs once
    if (!HookCallbackProc()) {
      warn("Failed to Hook CallBack!");
      return;
    }
    SkypeApiHwnd = 0;
    main_.AddText("// Connecting at " + formatDateTime(program().backends().scheduler.now()));
    const std::intptr_t nothing = 0;
    LRESULT sent = ws_.SendMessage(HWND_BROADCAST, SkypeDiscoverMsg, MainHwnd, reinterpret_cast<LPARAM>(&nothing));
    if (sent != 0) {
      main_.txtSend.setEnabled(true);
      main_.cmdSend.setEnabled(true);
      main_.cmdDisconnect.setEnabled(true);
      main_.cmdConnect.setEnabled(false);
    } else {
      warn("Can't Send Broadcast Message.");  // the hook stays; Connect can be pressed again
    }
  });
}

void modMain::disconnectAction() {
  program().trap("cmdDisconnect", [&] {
    if (!UnHookCallbackProc()) {
      warn("Failed to Hook CallBack!");
      return;
    }
    SkypeApiHwnd = 0;
    main_.txtSend.setEnabled(false);
    main_.cmdSend.setEnabled(false);
    main_.cmdDisconnect.setEnabled(false);
    main_.cmdConnect.setEnabled(true);
    main_.AddText("// Disconnecting at " + formatDateTime(program().backends().scheduler.now()));
  });
}

void modMain::sendAction() {
  program().trap("cmdSend", [&] {
    if (main_.txtSend.Text().empty()) return;
    const std::string text = main_.txtSend.Text();
    ApiText command(text);
    // Skype answers from inside this send: its notifications are logged (and may rewrite txtSend) before the echo.
    LRESULT sent = ws_.SendMessage(SkypeApiHwnd, WM_COPYDATA, MainHwnd, command.lParam());
    if (sent != 0) {
      // Every call placed counts against the hourly limit, whichever button, code or timer sent it.
      if (auto target = apiCallTarget(text)) program().access().callPlaced(*target);
      main_.AddText("-> " + main_.txtSend.Text());
    } else {
      warn("Can't Send Message, try re-connecting.");
      disconnectAction();
    }
  });
}

}  // namespace qm
