#include "sip/sip_settings_window.h"

#include "app/backends.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "platform/prompter.h"
#include "sip/sip_settings.h"

namespace qm {
namespace {

struct FieldLayout {
  const char* key;
  const char* caption;
  const char* frame;
  int row;  // within its frame
};

// The boxes in the order they appear; Register is the check box in row 3 of the account frame.
constexpr FieldLayout kFields[] = {
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

constexpr int kRow = 330, kLabelWidth = 1500, kBoxLeft = 1680, kBoxWidth = 4920, kFrameWidth = 6840;

}  // namespace

SipSettingsWindow::SipSettingsWindow(Program& program)
    : Window(program.registry(), "SipSettings", "SIP Settings"), program_(program) {
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
  for (const FieldLayout& f : kFields) {
    Field field{f.key, std::make_unique<Label>(*this, std::string("lbl") + f.key, f.caption),
                std::make_unique<TextBox>(*this, std::string("txt") + f.key)};
    int rowTop = 300 + f.row * kRow;
    field.label->setGeometry({120, rowTop + 30, kLabelWidth, 255});
    field.text->setGeometry({kBoxLeft, rowTop, kBoxWidth, 285});
    field.label->setContainer(f.frame);
    field.text->setContainer(f.frame);
    field.text->setToolTip(sipSettingsTable().find(f.key)->help);
    field.text->setBackColor(kWindowBackground);
    fields_.push_back(std::move(field));
  }
  box("Password")->password = true;
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

SipSettingsWindow::~SipSettingsWindow() = default;

TextBox* SipSettingsWindow::box(const std::string& key) {
  for (Field& f : fields_)
    if (f.key == key) return f.text.get();
  return nullptr;
}

void SipSettingsWindow::Form_Load() {
  SettingsReader in(program_, program_.backends().folders.inProgramFolder(kSipSettingsFile), "Form_Load");
  for (const SettingKey& k : sipSettingsTable().keys()) {
    if (k.name == "Register") {
      chkRegister.setValue(static_cast<int>(in.integer("Register", 1, 0, 1)));
      continue;
    }
    std::string value = in.text(k.name, k.fallback);
    if (auto why = sipSettingsTable().problem(k.name, value); !why.empty()) {
      in.reportBad(k.name, k.secret ? "(hidden)" : value, why, k.fallback);
      value = k.fallback;
    }
    box(k.name)->setText(value);
  }
}

bool SipSettingsWindow::SaveData() {
  std::string problems;
  for (const Field& f : fields_) {
    if (auto why = sipSettingsTable().problem(f.key, f.text->Text()); !why.empty()) {
      std::string shown = f.key == "Password" ? "The password" : f.label->Caption() + " \"" + f.text->Text() + "\"";
      problems += "\r\n" + shown + " " + why + ".";
    }
  }
  if (!problems.empty()) {
    program_.backends().prompter.show("The SIP settings were not saved:" + problems, "", BoxIcon::Warning,
                                      BoxButtons::Ok);
    return false;
  }
  // The file holds the SIP password: one made new is readable by its owner only.
  SettingsWriter out(program_, program_.backends().folders.inProgramFolder(kSipSettingsFile), 0600);
  for (const SettingKey& k : sipSettingsTable().keys()) {
    if (k.name == "Register")
      out.write("Register", chkRegister.Value() == 0 ? "0" : "1");
    else
      out.write(k.name, box(k.name)->Text());
  }
  if (!out.finish()) return false;
  if (onSaved) onSaved();
  return true;
}

}  // namespace qm
