#include "radio/config_check.h"

#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "radio/lines.h"

namespace qm::radio {
namespace fs = std::filesystem;
namespace {

bool onPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':'))
    if (!folder.empty() && ::access((fs::path(folder) / program).c_str(), X_OK) == 0) return true;
  return false;
}

// What would become of JACK at start: a server that runs, or the JackServer command.
void checkJack(const RadioSettings& s, const DeviceInventory& inventory, CheckReport& report) {
  if (inventory.jackPorts) {
    report.radio.push_back("JACK: a server runs; quillmere joins it");
    for (const auto& [key, port] :
         {std::pair{"CapturePort", s.capturePort}, std::pair{"PlaybackPort", s.playbackPort}}) {
      if (port.empty()) continue;
      bool found = false;
      for (const std::string& name : *inventory.jackPorts) found = found || name == port;
      if (!found)
        report.blockers.push_back(std::string(key) + " \"" + port + "\" is no port of the running JACK server; " +
                                  describeJackPorts(inventory.jackPorts));
    }
    return;
  }
  if (s.jackServer.empty()) {
    report.blockers.push_back("no JACK server runs and JackServer is empty, so none would be started");
    return;
  }
  std::stringstream words(s.jackServer);
  std::string program;
  words >> program;
  if (!onPath(program)) {
    report.blockers.push_back("no JACK server runs, and JackServer's program \"" + program +
                              "\" is not installed (Debian's jackd2 has jackd)");
    return;
  }
  // The ALSA backend's card: "-d alsa ... -d hw:N" (or -dhw:N, --device hw:N).
  static const std::regex alsa(R"((^|\s)-d\s*alsa(\s|$))");
  static const std::regex card(R"((?:-d|--device)\s*(?:plug)?hw:([A-Za-z0-9_]+))");
  std::smatch match;
  if (std::regex_search(s.jackServer, alsa) && std::regex_search(s.jackServer, match, card)) {
    const std::string wanted = match[1];
    bool found = false;
    for (const SoundCard& c : inventory.soundCards)
      found = found || std::to_string(c.index) == wanted || c.id == wanted;
    if (!found) {
      report.blockers.push_back("no JACK server runs, and JackServer would start one on hw:" + wanted +
                                ", which is no sound card here; " + describeSoundCards(inventory.soundCards));
      return;
    }
  }
  report.radio.push_back("JACK: no server runs; JackServer would start one: " + s.jackServer);
  if (!s.capturePort.empty() || !s.playbackPort.empty())
    report.radio.push_back("JACK: CapturePort and PlaybackPort are looked for once that server runs");
}

void checkLine(const char* key, const std::string& value, LineUse use, const DeviceInventory& inventory,
               CheckReport& report) {
  std::string error;
  const auto wiring = parseLineSpec(value, use, error);
  if (!wiring) return;  // already named among the problems
  const LineType& type = *findLineType(wiring->kind);
  if (type.shape == LineType::Shape::Word)
    return report.radio.push_back(std::string(key) + ": " + std::string(type.checkNote));
  const std::string problem = probeLine(*wiring, inventory);
  if (!problem.empty()) return report.blockers.push_back(std::string(key) + " \"" + value + "\": " + problem);
  report.radio.push_back(std::string(key) + ": " + value + std::string(type.checkNote));
}

}  // namespace

void checkRadio(const RadioSettings& settings, const DeviceInventory& inventory, CheckReport& report) {
  checkLine("Squelch", settings.squelch, LineUse::Squelch, inventory, report);
  checkLine("Ptt", settings.ptt, LineUse::Ptt, inventory, report);
  checkJack(settings, inventory, report);
  report.devices = describeInventory(inventory);
}

}  // namespace qm::radio
