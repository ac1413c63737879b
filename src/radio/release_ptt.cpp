#include "radio/release_ptt.h"

#include "radio/lines.h"
#include "radio/radio_settings.h"

namespace qm::radio {

int runReleasePtt(const Folders& folders, std::ostream& out, std::ostream& errors) {
  const auto path = folders.inProgramFolder(kRadioSettingsFile);
  std::vector<std::string> problems;
  const RadioSettings settings = readRadioSettings(path, problems);
  for (const std::string& problem : problems) errors << "quillmere: " << problem << "\n";
  // A Ptt value that could not be read is replaced by "none": releasing nothing would hide that the line is unknown.
  for (const std::string& problem : problems) {
    if (problem.find(" of Ptt ") != std::string::npos) {
      errors << "quillmere: the PTT line is not known, so it was not released\n";
      return 1;
    }
  }
  std::string error;
  const auto wiring = parseLineSpec(settings.ptt, LineUse::Ptt, error);
  if (!wiring) {
    errors << "quillmere: " << path.string() << ": Ptt " << error << "\n";
    return 1;
  }
  if (wiring->kind == "none") {
    out << "quillmere: Ptt=none: no line to release\n";
    return 0;
  }
  auto line = openPttLine(*wiring, error);  // every kind of line is released as it is opened
  if (!line || !line->key(false, error)) {
    errors << "quillmere: the PTT line was not released: " << error << "\n";
    return 1;
  }
  line.reset();
  out << "quillmere: released the PTT line " << settings.ptt << "\n";
  return 0;
}

}  // namespace qm::radio
