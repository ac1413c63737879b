#include "sip/sip_settings_window.h"

#include "app/settings_file.h"
#include "sip/sip_settings.h"

namespace qm {
namespace {

// The boxes in the order they appear; Register is the check box in row 3 of the account frame.
constexpr TableSettingsWindow::Place kFields[] = {
    {"Account", "Account", "fraAccount", 0},
    {"AuthUser", "User name", "fraAccount", 1},
    {"Password", "Password", "fraAccount", 2},
    {"Outbound", "Outbound proxy", "fraAccount", 4},
    {"AccountOptions", "Options", "fraAccount", 5},
    {"DialPattern", "Number pattern", "fraDialPlan", 0},
    {"InternationalPrefix", "Intl. prefix", "fraDialPlan", 1},
    {"NameDomain", "Name domain", "fraDialPlan", 2},
    {"AudioDriver", "Audio driver", "fraSound", 0},
    {"InputDevice", "From the radio", "fraSound", 1},
    {"OutputDevice", "To the radio", "fraSound", 2},
    {"ListenAddress", "SIP address", "fraAgent", 0},
    {"ControlPort", "Control port", "fraAgent", 1},
    {"Program", "Program", "fraAgent", 2},
    {"ModulePath", "Modules", "fraAgent", 3},
};

constexpr int kLabelWidth = 1500, kBoxLeft = 1680, kBoxWidth = 4920, kFrameWidth = 6840;

}  // namespace

SipSettingsWindow::SipSettingsWindow(Program& program)
    : TableSettingsWindow(program, "SipSettings", "SIP Settings", sipSettingsTable(), "SIP", 0600) {
  // The file holds the SIP password: one made new is readable by its owner only.
  // Frames stacked down the window, each as tall as its rows; geometry in twips.
  int top = 120;
  auto place = [&](Frame& frame, int rows) {
    frame.setGeometry({120, top, kFrameWidth, 300 + rows * kRow + 60});
    top += 300 + rows * kRow + 60 + 120;
  };
  place(fraAccount, 6);
  place(fraDialPlan, 3);
  place(fraSound, 3);
  place(fraAgent, 4);
  for (const Place& f : kFields) addField(f.key, f.caption, f.frame, f.row, {kLabelWidth, kBoxLeft, kBoxWidth});
  chkRegister.setGeometry({kBoxLeft, 300 + 3 * kRow, kBoxWidth, 255});
  chkRegister.setContainer("fraAccount");
  lblHint.setGeometry({120, top, kFrameWidth, 255});
  top += 360;
  cmdSave.setGeometry({kFrameWidth + 120 - 2 * 1215 - 120, top, 1215, 375});
  cmdHide.setGeometry({kFrameWidth + 120 - 1215, top, 1215, 375});
  setGeometry({0, 0, kFrameWidth + 360, top + 375 + 600});
  cmdSave.Click = [this] { SaveData(); };
  cmdHide.Click = [this] { Hide(); };
}

bool SipSettingsWindow::loadOther(const SettingsReader& in, const SettingKey& key) {
  if (key.name != "Register") return false;
  chkRegister.setValue(static_cast<int>(in.integer("Register", 1, 0, 1)));
  return true;
}

std::optional<std::string> SipSettingsWindow::savedOther(const SettingKey& key) {
  if (key.name != "Register") return std::nullopt;
  return chkRegister.Value() == 0 ? "0" : "1";
}

}  // namespace qm
