// The hook on the main window's message procedure and what the hooked procedure does with Skype's messages.
#include "app/backends.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "control/announce.h"
#include "platform/scheduler.h"
#include "skype/api_text.h"
#include "skype/incoming_calls.h"
#include "skype/mod_main.h"

namespace qm {

bool modMain::HookCallbackProc() {
  bool hooked = false;
  program().trap("HookCallbackProc", [&] {
    // Already hooked (a second Connect): saving WindowProc as the previous procedure would make it pass messages
    // to itself, so the first hook stays as it is.
    if (ws_.GetWindowLong(MainHwnd, GWL_WNDPROC) == windowProcAddress_) {
      hooked = true;
      return;
    }
    WNDPROC previous = ws_.SetWindowLong(MainHwnd, GWL_WNDPROC, windowProcAddress_);
    if (previous != 0) PrevWndProc = previous;
    hooked = previous != 0;
  });
  return hooked;
}

bool modMain::UnHookCallbackProc() {
  bool unhooked = false;
  program().trap("UnHookCallbackProc", [&] {
    // Nothing hooked (never connected, or already disconnected): the procedure stays as it is.
    if (!ws_.isWindow(MainHwnd) || ws_.GetWindowLong(MainHwnd, GWL_WNDPROC) != windowProcAddress_) {
      unhooked = ws_.isWindow(MainHwnd);
      return;
    }
    unhooked = ws_.SetWindowLong(MainHwnd, GWL_WNDPROC, PrevWndProc) != 0;
  });
  return unhooked;
}

LRESULT modMain::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  program().trap("WindowProc", [&] {
    if (msg == WM_COPYDATA) {
      // Every copy-data message is taken for Skype's; the sender is not compared with SkypeApiHwnd.
      ProcessSkypeMsg(lParam);
      result = 1;
    } else if (msg == SkypeDiscoverMsg && msg != 0) {
      result = 1;  // our own broadcast coming back
    } else if (msg == SkypeAttachMsg && msg != 0) {
      switch (lParam) {
        case 0:
          if (wParam != 0) SkypeApiHwnd = wParam;
          main_.AddText("<- SKYPE Control API Attach Success");
          break;
        case 1:
          main_.AddText("<- SKYPE Control API Attach Pending Authorization");
          break;
        case 2:
          main_.AddText("<- SKYPE Control API Attach Refused");
          break;
        case 3:
          main_.AddText("<- SKYPE Control API Attach Not Available");
          break;
        default:
          break;  // a status this program does not know
      }
      result = 1;
    } else {
      result = ws_.CallWindowProc(PrevWndProc, hwnd, msg, wParam, lParam);
    }
  });
  return result;
}

void modMain::ProcessSkypeMsg(LPARAM lParam) {
  program().trap("ProcessSkypeMsg", [&] {
    // Decoded without reading past cbData; a message with no text (no bytes, or a zero first) is ignored, so no box
    // holds up the sender.
    std::string text = decodeApiText(lParam);
    if (text.empty()) return;
    main_.AddText("<- " + text);
    program().incoming().heard(text);
    // A call that ended unanswered is announced on the air once this message has been handled (the client may be
    // waiting in its SendMessage).
    if (int box = callResults_.heard(text)) {
      std::weak_ptr<bool> alive = alive_;
      program().backends().scheduler.post([this, alive, box] {
        if (!alive.expired())
          program().trap("ProcessSkypeMsg", [this, box] { announce(program(), phrase(program(), box)); });
      });
    }
  });
}

}  // namespace qm
