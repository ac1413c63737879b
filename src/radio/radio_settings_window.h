#pragma once
// The radio settings window ("RadioSettings"): one box for each key of quillmere_radio.ini (radio_settings.h), read
// when the window loads and written by its Save button. Values that cannot be used are named in a box and nothing is
// saved. It exists only while the radio node is in use: addRadioSettingsWindow registers it.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/window.h"

namespace qm {
class Program;
}

namespace qm::radio {

class RadioSettingsWindow : public Window {
 public:
  explicit RadioSettingsWindow(Program& program);
  ~RadioSettingsWindow() override;
  void Form_Load();
  // Checks every box, then writes the file; false when nothing was saved.
  bool SaveData();
  void closeRequest() override { Hide(); }

  // Run after a successful save.
  std::function<void()> onSaved;

  Frame fraRadio{*this, "fraRadio", "Radio Interface"};
  Frame fraJack{*this, "fraJack", "JACK Audio"};
  Frame fraVox{*this, "fraVox", "Carrier from the Audio (Squelch=vox)"};
  Frame fraDtmf{*this, "fraDtmf", "DTMF Decoder"};
  Frame fraAir{*this, "fraAir", "On the Air"};
  Frame fraCall{*this, "fraCall", "Phone Call"};
  Label lblHint{*this, "lblHint", "Lines: serial:DEV:PIN, cm108:DEV:PIN, gpio:CHIP:LINE, pty:PATH; ! inverts."};
  CommandButton cmdSave{*this, "cmdSave", "Save"};
  CommandButton cmdHide{*this, "cmdHide", "Hide"};

  // The text box of a settings key ("txt" + key).
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

// Adds the RadioSettings window to the program (loaded when first shown); `onSaved` runs after each save.
void addRadioSettingsWindow(Program& program, std::function<void()> onSaved);

}  // namespace qm::radio
