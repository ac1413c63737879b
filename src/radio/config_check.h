#pragma once
// quillmere --check: reads every settings file as a start would and says what is wrong with each, what is used
// instead, which configured devices are missing, and what devices this machine has. The program is started in
// virtual time on copies of the two folders (so nothing of the user's is written) and the boxes it shows are
// collected; the SIP and radio files are read as their backends read them.
#include <ostream>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "radio/device_inventory.h"

namespace qm::radio {

struct CheckReport {
  std::vector<std::string> node;      // the backends a headless start or the service runs, and where each came from
  std::vector<std::string> problems;  // bad keys and values, each with what is used instead
  std::vector<std::string> radio;     // what the radio node would do with its lines and JACK
  std::vector<std::string> blockers;  // why the radio node could not go on the air
  std::vector<std::string> devices;   // the inventory, one kind a line
  std::vector<std::string> incoming;  // who may call the node from the telephone, and how
};

CheckReport checkConfiguration(const Folders& folders, const DeviceInventory& inventory);
// Prints the report, with `otherProblems` (those of parts the radio node does not know, such as the web page) among
// the settings' problems; 0 when the node could go on the air, 1 when not.
int runConfigCheck(const Folders& folders, std::ostream& out, const std::vector<std::string>& otherProblems = {});

}  // namespace qm::radio
