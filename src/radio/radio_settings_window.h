#pragma once
// The radio settings window ("RadioSettings"): one box for each key of quillmere_radio.ini (radio_settings.h), read
// when the window loads and written by its Save button (table_settings_window.h); Save also refuses one
// pseudo-terminal named for both lines. It exists only while the radio node is in use: addRadioSettingsWindow
// registers it.
#include <functional>
#include <string>

#include "app/table_settings_window.h"

namespace qm {
class Program;
}

namespace qm::radio {

class RadioSettingsWindow : public TableSettingsWindow {
 public:
  explicit RadioSettingsWindow(Program& program);

  Frame fraRadio{*this, "fraRadio", "Radio Interface"};
  Frame fraJack{*this, "fraJack", "JACK Audio"};
  Frame fraVox{*this, "fraVox", "Carrier from the Audio (Squelch=vox)"};
  Frame fraDtmf{*this, "fraDtmf", "DTMF Decoder"};
  Frame fraAir{*this, "fraAir", "On the Air"};
  Frame fraCall{*this, "fraCall", "Phone Call"};
  Label lblHint{*this, "lblHint", "Lines: serial:DEV:PIN, cm108:DEV:PIN, gpio:CHIP:LINE, pty:PATH; ! inverts."};
  CommandButton cmdSave{*this, "cmdSave", "Save"};
  CommandButton cmdHide{*this, "cmdHide", "Hide"};

 private:
  std::string problemsAcross() override;
};

// Adds the RadioSettings window to the program (loaded when first shown); `onSaved` runs after each save.
void addRadioSettingsWindow(Program& program, std::function<void()> onSaved);

}  // namespace qm::radio
