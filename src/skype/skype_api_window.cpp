#include "skype/skype_api_window.h"

#include "skype/api_text.h"

namespace qm {

SkypeApiWindow::~SkypeApiWindow() {
  if (apiWindow_) windows_.destroyWindow(apiWindow_);
  if (procedureAddress_) windows_.removeProcedure(procedureAddress_);
}

void SkypeApiWindow::openWindow(const std::string& className) {
  discoverMsg_ = windows_.RegisterWindowMessage("SkypeControlAPIDiscover");
  attachMsg_ = windows_.RegisterWindowMessage("SkypeControlAPIAttach");
  procedureAddress_ = windows_.addProcedure(
      [this](HWND, UINT msg, WPARAM wParam, LPARAM lParam) { return procedure(msg, wParam, lParam); });
  apiWindow_ = windows_.createWindow(className, procedureAddress_);
}

LRESULT SkypeApiWindow::procedure(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COPYDATA) {
    received(wParam, decodeApiText(lParam));
    return 1;
  }
  if (msg == discoverMsg_) {
    discovered(wParam);
    return 1;
  }
  return 0;
}

void SkypeApiWindow::received(HWND from, const std::string& text) {
  if (deaf_) return;
  log_.record({"sent", text, true, ""});
  ApiCommand c = parseApiCommand(text);
  if (!c.reply.empty()) return notify(from, c.reply);
  using Verb = ApiCommand::Verb;
  switch (c.verb) {
    case Verb::Call:
      return placeCall(from, c.target);
    case Verb::HangUp:
    case Verb::GetStatus:
    case Verb::GetDuration:
      return callCommand(from, c);
    case Verb::Alter:
      return alterCall(from, c);
    case Verb::SetMute:
      return setMute(from, c.on);
    case Verb::GetMute:
      return notify(from, muted() ? "MUTE ON" : "MUTE OFF");
    default:
      return;  // answered by the text alone
  }
}

void SkypeApiWindow::notify(HWND to, const std::string& text) {
  if (deaf_) return;
  log_.record({"notify", text, true, ""});
  ApiText message(text);
  windows_.SendMessage(to, WM_COPYDATA, apiWindow_, message.lParam());
}

void SkypeApiWindow::sendAttach(HWND to, LPARAM status, HWND wParam) {
  if (deaf_) return;
  windows_.SendMessage(to, attachMsg_ ? attachMsg_ : windows_.RegisterWindowMessage("SkypeControlAPIAttach"), wParam,
                       status);
}

}  // namespace qm
