#pragma once
// The EchoLink settings window ("EchoLinkSettings"): one text box for each key of quillmere_echolink.ini
// (echolink_net_settings.h), read when the window loads and written by its Save button. Values that cannot be used
// are named in a box and nothing is saved. A Location longer than 27 characters is saved as typed and cut when read.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/window.h"

namespace qm {

class Program;

class EchoLinkSettingsWindow : public Window {
 public:
  explicit EchoLinkSettingsWindow(Program& program);
  ~EchoLinkSettingsWindow() override;
  void Form_Load();
  // Checks every box, then writes the file; false when nothing was saved.
  bool SaveData();
  void closeRequest() override { Hide(); }

  // Run after a successful save (the node reads the file again and logs in anew).
  std::function<void()> onSaved;

  Frame fraDirectory{*this, "fraDirectory", "Directory"};
  Frame fraCallers{*this, "fraCallers", "Callers"};
  Frame fraCommands{*this, "fraCommands", "Node DTMF Functions"};
  Label lblPorts{*this, "lblPorts", "Forward UDP ports 5198 and 5199 (PortBase and the next) to this machine."};
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

// Makes the window known to the program by its name, loaded on first use; for the node when the network is enabled.
void addEchoLinkSettingsWindow(Program& program, std::function<void()> onSaved);

}  // namespace qm
