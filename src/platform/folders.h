#pragma once
// Where settings files live: the program folder (--home) for the files the program opens by folder and name, and
// the machine-wide folder (--machine-dir) for the files it opens by bare name, which stand for the whole machine.
// What the program keeps of its own between runs (the history log file) goes into the state folder.
#include <filesystem>
#include <string>

namespace qm {

struct Folders {
  std::filesystem::path home;     // the program folder
  std::filesystem::path machine;  // the machine-wide folder
  std::filesystem::path state{};  // the state folder; empty: nothing is kept between runs

  std::filesystem::path inProgramFolder(const std::string& name) const { return home / name; }
  std::filesystem::path machineWide(const std::string& name) const { return machine / name; }
  // Where the program looks for a settings file of this name.
  std::filesystem::path locate(const std::string& name) const;

  // $XDG_CONFIG_HOME/quillmere (~/.config/quillmere) and /etc/quillmere.
  static std::filesystem::path defaultHome();
  static std::filesystem::path defaultMachine() { return "/etc/quillmere"; }
  // $XDG_STATE_HOME/quillmere (~/.local/state/quillmere).
  static std::filesystem::path defaultState();
};

}  // namespace qm
