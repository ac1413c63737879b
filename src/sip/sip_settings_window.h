#pragma once
// The SIP settings window ("SipSettings"): one box for each key of quillmere_sip.ini (sip_settings.h), read when the
// window loads and written by its Save button (table_settings_window.h); Register is a check box. A saved file takes
// effect at once (baresip is restarted when its own files change, after a call that is up).
#include <string>

#include "app/table_settings_window.h"

namespace qm {

class Program;

class SipSettingsWindow : public TableSettingsWindow {
 public:
  explicit SipSettingsWindow(Program& program);

  Frame fraAccount{*this, "fraAccount", "SIP Account"};
  Frame fraDialPlan{*this, "fraDialPlan", "Dial Plan"};
  Frame fraSound{*this, "fraSound", "Sound Devices"};
  Frame fraAgent{*this, "fraAgent", "SIP User Agent (baresip)"};
  CheckBox chkRegister{*this, "chkRegister", "Register with the provider", 1};
  Label lblHint{*this, "lblHint", "Numbers: {number} in the pattern stands for the number dialled."};
  CommandButton cmdSave{*this, "cmdSave", "Save"};
  CommandButton cmdHide{*this, "cmdHide", "Hide"};

 private:
  // Register is the check box.
  bool loadOther(const SettingsReader& in, const SettingKey& key) override;
  std::optional<std::string> savedOther(const SettingKey& key) override;
};

}  // namespace qm
