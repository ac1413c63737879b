#pragma once
// modMain: the program's link to Skype's Desktop API. The client is found by broadcasting the registered discover
// message; it answers with the registered attach message (status in lParam, its API window in wParam); from then on
// commands and notifications travel as one line of text each in copy-data messages (see api_text.h). The main
// window's message procedure is subclassed with WindowProc to receive them; every line sent or received is logged in
// the main window's data panel ("-> " sent, "<- " received, "// " the program's own remarks) and handed to call
// tracking (call_tracking.h).
//
// The link's state is held here once for the program and can be read by name like a window's variables
// (modMain.SkypeApiHwnd ...).
#include <memory>
#include <string>

#include "platform/window.h"
#include "platform/window_system.h"
#include "skype/call_results.h"

namespace qm {

class frmMain;
class Program;

class modMain : public Window {
 public:
  explicit modMain(frmMain& main);
  ~modMain() override;

  void closeRequest() override {}  // a module has no window to close

  // Stores the main window's handle and registers the two API messages (the main window's load).
  void prepare();

  void ConfigureSkypeMsgs();
  bool HookCallbackProc();
  bool UnHookCallbackProc();
  LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void ProcessSkypeMsg(LPARAM lParam);

  // The actions behind the buttons: cmdConnect (also Timer1's single tick), cmdDisconnect, cmdSend (also Dial_Phone).
  void connectAction(bool fromTimer);
  void disconnectAction();
  void sendAction();

  // The main window's handle on the window system, from its creation (MainHwnd holds it once the load stored it).
  HWND mainWindowHandle() const { return mainWindow_; }
  WindowSystem& windowSystem() { return ws_; }

  UINT SkypeDiscoverMsg = 0;
  UINT SkypeAttachMsg = 0;
  HWND SkypeApiHwnd = 0;
  HWND MainHwnd = 0;
  WNDPROC PrevWndProc = 0;

 private:
  void warn(const std::string& text);
  Program& program();

  frmMain& main_;
  std::unique_ptr<WindowSystem> ownWindowSystem_;  // when the run has no desktop of its own: Skype is absent
  WindowSystem& ws_;
  WNDPROC ownProcedure_ = 0;       // the main window's own message procedure
  WNDPROC windowProcAddress_ = 0;  // WindowProc, as installed by the hook
  HWND mainWindow_ = 0;
  CallResults callResults_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // posted announcements check it
};

}  // namespace qm
