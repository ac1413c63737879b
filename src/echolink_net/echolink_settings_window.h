#pragma once
// The EchoLink settings window ("EchoLinkSettings"): one text box for each key of quillmere_echolink.ini
// (echolink_net_settings.h), read when the window loads and written by its Save button (table_settings_window.h). A
// Location longer than 27 characters is saved as typed and cut when read.
#include <functional>

#include "app/table_settings_window.h"

namespace qm {

class Program;

// After a successful save (onSaved) the node reads the file again and logs in anew.
class EchoLinkSettingsWindow : public TableSettingsWindow {
 public:
  explicit EchoLinkSettingsWindow(Program& program);

  Frame fraDirectory{*this, "fraDirectory", "Directory"};
  Frame fraCallers{*this, "fraCallers", "Callers"};
  Frame fraCommands{*this, "fraCommands", "Node DTMF Functions"};
  Label lblPorts{*this, "lblPorts", "Forward UDP ports 5198 and 5199 (PortBase and the next) to this machine."};
  CommandButton cmdSave{*this, "cmdSave", "Save"};
  CommandButton cmdHide{*this, "cmdHide", "Hide"};
};

// Makes the window known to the program by its name, loaded on first use; for the node when the network is enabled.
void addEchoLinkSettingsWindow(Program& program, std::function<void()> onSaved);

}  // namespace qm
