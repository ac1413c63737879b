#pragma once
// quillmere --check: reads every settings file as a start would and says what is wrong with each, what is used
// instead, which configured devices are missing, and what devices this machine has. The program is started in
// virtual time on copies of the two folders (so nothing of the user's is written) and the boxes it shows are
// collected; the SIP and radio files are read as their backends read them. What the radio node would do with its
// lines and JACK is the radio's own check (RadioCheck), run on the radio settings read here.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/folders.h"

namespace qm {

namespace radio {
struct RadioSettings;
}

struct CheckReport {
  std::vector<std::string> node;      // the backends a headless start or the service runs, and where each came from
  std::vector<std::string> problems;  // bad keys and values, each with what is used instead
  std::vector<std::string> radio;     // what the radio node would do with its lines and JACK
  std::vector<std::string> blockers;  // why the radio node could not go on the air
  std::vector<std::string> devices;   // the inventory, one kind a line
  std::vector<std::string> incoming;  // who may call the node from the telephone, and how
};

// Adds the radio node's lines, JACK and the machine's devices to the report.
using RadioCheck = std::function<void(const radio::RadioSettings& settings, CheckReport& report)>;

CheckReport checkConfiguration(const Folders& folders, const RadioCheck& radioCheck);
// Prints the report, with `otherProblems` (those of parts the program's start does not read, such as the web page)
// among the settings' problems; 0 when the node could go on the air, 1 when not.
int runConfigCheck(const Folders& folders, std::ostream& out, const RadioCheck& radioCheck,
                   const std::vector<std::string>& otherProblems = {});

}  // namespace qm
