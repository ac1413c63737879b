#include "skype/mod_main.h"

#include "access/access_control.h"
#include "app/backends.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "platform/prompter.h"
#include "skype/call_control.h"

namespace qm {
namespace {

WindowSystem& chooseWindowSystem(frmMain& main, std::unique_ptr<WindowSystem>& own) {
  if (WindowSystem* ws = main.program().backends().windowSystem) return *ws;
  own = std::make_unique<WindowSystem>();
  return *own;
}

}  // namespace

modMain::modMain(frmMain& main)
    : Window(main.program().registry(), "modMain", "modMain"),
      main_(main),
      ws_(chooseWindowSystem(main, ownWindowSystem_)) {
  // The main window exists on the desktop from its creation, with a procedure of its own that handles nothing.
  ownProcedure_ = ws_.addProcedure([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  windowProcAddress_ = ws_.addProcedure(
      [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return WindowProc(hwnd, msg, wParam, lParam); });
  mainWindow_ = ws_.createWindow("frmMain", ownProcedure_);

  auto number = [](const auto& value) { return [&value] { return std::to_string(value); }; };
  addVariable("SkypeDiscoverMsg", {number(SkypeDiscoverMsg), {}});
  addVariable("SkypeAttachMsg", {number(SkypeAttachMsg), {}});
  addVariable("SkypeApiHwnd", {number(SkypeApiHwnd), {}});
  addVariable("MainHwnd", {number(MainHwnd), {}});
  addVariable("PrevWndProc", {number(PrevWndProc), {}});
  // Not module state, but what a reader of PrevWndProc compares it with.
  addVariable("WindowProc", {number(windowProcAddress_), {}});
  addVariable("CurrentWndProc", {[this] { return std::to_string(ws_.GetWindowLong(mainWindow_, GWL_WNDPROC)); }, {}});
}

modMain::~modMain() {
  ws_.destroyWindow(mainWindow_);
  ws_.removeProcedure(windowProcAddress_);
  ws_.removeProcedure(ownProcedure_);
}

Program& modMain::program() {
  return main_.program();
}

void modMain::warn(const std::string& text) {
  program().backends().prompter.show(text, "", BoxIcon::Warning, BoxButtons::Ok);
}

void modMain::prepare() {
  MainHwnd = mainWindow_;
  ConfigureSkypeMsgs();
}

void modMain::ConfigureSkypeMsgs() {
  program().trap("ConfigureSkypeMsgs", [&] {
    SkypeDiscoverMsg = ws_.RegisterWindowMessage("SkypeControlAPIDiscover");
    SkypeAttachMsg = ws_.RegisterWindowMessage("SkypeControlAPIAttach");
  });
}

void frmMain::wireSkype() {
  modMain_ = std::make_unique<modMain>(*this);
  Timer1.onTimer = [this] { modMain_->connectAction(true); };
  cmdConnect.Click = [this] { modMain_->connectAction(false); };
  cmdDisconnect.Click = [this] { modMain_->disconnectAction(); };
  cmdSend.Click = [this] {
    if (program_.access().permitCallBox(txtSend.Text())) modMain_->sendAction();
  };
  wireCallControl(*this);
}

void frmMain::Dial_Phone() {
  modMain_->sendAction();
}

}  // namespace qm
