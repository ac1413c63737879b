#pragma once
// The scenario actions of the simulated Skype client:
//   skype answer | hangup | busy      the far end of the latest call answers, hangs up, or is busy
//   skype notify "TEXT"               Skype sends any API text to the program's main window
//   skype attach STATUS [HWND]        Skype sends an attach message: lParam STATUS, wParam HWND (default its own
//                                     API window); numbers in decimal or 0x hexadecimal
// The attach modes (skype allow | allow-now | refuse | absent) are set-up, before start.
#include <string>
#include <vector>

namespace qm {

class Session;

// True when the words are a skype action and it ran; throws ScriptError on a bad one.
bool skypeAction(Session& session, const std::vector<std::string>& words);

}  // namespace qm
