#pragma once
// The settings files seen and changed from outside the desktop (the web page's Settings tab), on the program's
// thread. Every key of every settings table is shown with its value, default and help; a secret's value never leaves
// the program (only whether it is set). A change is checked by the key's row (the same check and message as
// quillmere --check), then saved as the desktop saves it: a key the main or the courtesy window keeps in a control is
// typed into that control and saved by the window's own save button, so it takes effect at once; any other key is
// written into its file through the settings writer (its other lines, comments, mode and symbolic link kept) and takes
// effect when the file's part reloads it (`apply`), or else at the next start. Each change is logged in the history
// with the user's name.
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/settings_table.h"

namespace qm {

class Program;
class Window;
class Control;

class RemoteSettings {
 public:
  // `apply`: by file name, what makes a saved change of that file take effect in the running program (false when it
  // cannot now: the change then waits for the next start).
  RemoteSettings(Program& program, std::map<std::string, std::function<bool()>> apply);

  struct Key {
    const SettingKey* key;
    std::string value;  // empty for a secret
    bool set = false;   // the file holds a value (for a secret: a non-empty one)
    bool nextStart = false;
  };
  struct File {
    const SettingsTable* table;
    std::filesystem::path path;
    std::vector<Key> keys;
  };
  std::vector<File> list() const;

  struct Outcome {
    bool saved = false;
    std::string message;  // why not, or what became of it
    bool nextStart = false;
  };
  Outcome change(const std::string& file, const std::string& key, const std::string& value, const std::string& user);

 private:
  struct Entry {
    const SettingsTable* table;
    std::filesystem::path path;
    mode_t newFileMode;
    std::function<Window*()> window = nullptr;  // the window that keeps the file's keys in controls, if one does
    std::function<void()> save = nullptr;       // that window's save button
  };
  std::vector<Entry> entries() const;
  Control* inWindow(const Entry& entry, const std::string& key) const;
  bool nextStart(const Entry& entry, const std::string& key) const;

  Program& program_;
  std::map<std::string, std::function<bool()>> apply_;
};

}  // namespace qm
