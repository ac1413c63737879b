#pragma once
// The SIP settings window ("SipSettings"): one box for each key of quillmere_sip.ini (sip_settings.h), read when the
// window loads and written by its Save button. Values that cannot be used are named in a box and nothing is saved;
// a saved file takes effect at once (baresip is restarted when its own files change, after a call that is up).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/window.h"

namespace qm {

class Program;

class SipSettingsWindow : public Window {
 public:
  explicit SipSettingsWindow(Program& program);
  ~SipSettingsWindow() override;
  void Form_Load();
  // Checks every box, then writes the file; false when nothing was saved.
  bool SaveData();
  void closeRequest() override { Hide(); }

  // Run after a successful save.
  std::function<void()> onSaved;

  Frame fraAccount{*this, "fraAccount", "SIP Account"};
  Frame fraDialPlan{*this, "fraDialPlan", "Dial Plan"};
  Frame fraSound{*this, "fraSound", "Sound Devices"};
  Frame fraAgent{*this, "fraAgent", "SIP User Agent (baresip)"};
  CheckBox chkRegister{*this, "chkRegister", "Register with the provider", 1};
  Label lblHint{*this, "lblHint", "Numbers: {number} in the pattern stands for the number dialled."};
  CommandButton cmdSave{*this, "cmdSave", "Save"};
  CommandButton cmdHide{*this, "cmdHide", "Hide"};

  // The text box of a settings key ("txt" + key); null for Register, which is the check box.
  TextBox* box(const std::string& key);

 private:
  struct Field {
    std::string key;
    std::unique_ptr<Label> label;
    std::unique_ptr<TextBox> text;
  };
  Program& program_;
  std::vector<Field> fields_;
};

}  // namespace qm
