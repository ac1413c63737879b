#pragma once
// The node's backends as settings as well as options: quillmere.ini in the program folder, section SETTINGS, keys
//   Node       sim (the simulated node, default) or radio (this machine's radio, quillmere_radio.ini)
//   Telephone  sim (the simulated Skype client, default) or sip (real calls through baresip, quillmere_sip.ini)
// --node and --skype on the command line win over them, so a service's command line needs no backend option and its
// settings folder alone decides what the node runs. A scenario keeps the simulated backends unless its command line
// asks for others; whoever starts one does not read these keys.
#include <optional>
#include <string>
#include <vector>

#include "platform/folders.h"

namespace qm {

struct NodeConfiguration {
  std::string node = "sim";       // sim or radio
  std::string telephone = "sim";  // sim or sip
  // Where each choice came from, as a reader finds it: "--node radio", "Node=radio in quillmere.ini", "the default".
  std::string nodeFrom = "the default", telephoneFrom = "the default";
  // A value that names no backend (file, key, value, the legal values and what is used instead).
  std::vector<std::string> problems;
  // A simulated backend chosen while the real one's settings file is in the program folder: for a node without a
  // person at a screen, a simulated call or air that passes for a real one.
  std::vector<std::string> simulatedWhileConfigured;
};

// The backends a start in `folders` uses; an option given on the command line (nullopt: not given) wins.
NodeConfiguration readNodeConfiguration(const Folders& folders, const std::optional<std::string>& nodeOption = {},
                                        const std::optional<std::string>& telephoneOption = {});

}  // namespace qm
