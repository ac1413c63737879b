#pragma once
// The command line:
//   quillmere [--headless | --scenario FILE [--real-time]] [--home DIR] [--machine-dir DIR] [--callsign CALL]
//             [--node sim|radio] [--skype sim|sip] [--voice espeak|estimate] [--air FILE.wav]
//             [--report-url URL | --no-report] [--transcript FILE] [--help] [--version]
//   quillmere --release-ptt [--home DIR]
//   quillmere --check [--home DIR] [--machine-dir DIR]
//   quillmere --add-user NAME --role viewer|operator|admin [--machine-dir DIR]   (the password on standard input)
//   quillmere --remove-user NAME [--machine-dir DIR]
// Bad options get a one-line error and exit status 2.
#include <optional>
#include <string>
#include <vector>

namespace qm {

enum class Mode { Desktop, Headless, Scenario };

struct Options {
  Mode mode = Mode::Desktop;
  std::string scenario;
  bool realTime = false;  // a scenario on the wall clock with the real backends
  std::optional<std::string> home, machineDir;
  std::string callsign = "N0CALL-L";
  bool callsignGiven = false;  // --callsign was on the command line
  std::string node = "sim", skype = "sim";
  // --node, --skype were on the command line: they win over quillmere.ini's Node and Telephone (node_configuration.h)
  bool nodeGiven = false, skypeGiven = false;
  std::optional<std::string> voice;  // default by mode: espeak, or estimate in a scenario
  std::optional<std::string> air;
  std::optional<std::string> reportUrl;
  bool noReport = false;
  std::optional<std::string> transcript;
  std::optional<std::string> screenshots;
  bool help = false, version = false;
  bool releasePtt = false;  // release the radio's PTT line and exit
  bool check = false;       // check every settings file and the devices, then exit
  // The web page's users: add (with a role; the password from standard input) or remove one, then exit.
  std::optional<std::string> addUser, removeUser, role;
};

// Parses argv; on a bad option returns nothing and sets `error` to one line.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);
std::string usageText();

}  // namespace qm
