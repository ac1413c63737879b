#include "control/remote_settings.h"

#include <algorithm>

#include "app/frm_main.h"
#include "app/main_settings_table.h"
#include "app/program.h"
#include "echolink_net/echolink_net_settings.h"
#include "history/history_log.h"
#include "platform/profile_file.h"
#include "radio/radio_settings.h"
#include "sip/sip_settings.h"

namespace qm {

namespace {

constexpr const char* kMainFile = "quillmere.ini";

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The main window's control that keeps `key` (VOICESPEED in VoiceSpeed), or null.
Control* mainControl(frmMain& main, const std::string& key) {
  for (Control* control : main.controls())
    if (lower(control->name()) == lower(key)) return control;
  return nullptr;
}

}  // namespace

RemoteSettings::RemoteSettings(Program& program, std::map<std::string, std::function<bool()>> apply)
    : program_(program), apply_(std::move(apply)) {}

std::vector<RemoteSettings::Entry> RemoteSettings::entries() const {
  const Folders& f = program_.backends().folders;
  // A file that may hold a password is made private; the radio's holds none.
  return {{&mainSettingsTable(), f.inProgramFolder(kMainFile), 0666},
          {&radio::radioSettingsTable(), f.inProgramFolder(radio::kRadioSettingsFile), 0666},
          {&sipSettingsTable(), f.inProgramFolder(kSipSettingsFile), 0600},
          {&echolink_net::echoLinkSettingsTable(), f.inProgramFolder(echolink_net::kEchoLinkSettingsFile), 0600}};
}

bool RemoteSettings::inMainWindow(const std::string& file, const std::string& key) const {
  return file == kMainFile && mainControl(program_.main(), key) != nullptr;
}

bool RemoteSettings::nextStart(const std::string& file, const std::string& key) const {
  return !inMainWindow(file, key) && !apply_.count(file);
}

std::vector<RemoteSettings::File> RemoteSettings::list() const {
  std::vector<File> files;
  for (const Entry& e : entries()) {
    const ProfileFile ini = ProfileFile::load(e.path);
    File file{e.table, e.path, {}};
    for (const SettingKey& k : e.table->keys()) {
      Key key{&k, "", false, nextStart(e.table->file(), k.name)};
      // The main window's keys as the window holds them (what a save would write).
      if (inMainWindow(e.table->file(), k.name)) {
        key.value = mainControl(program_.main(), k.name)->value();
        key.set = true;
      } else if (auto stored = ini.get("SETTINGS", k.name)) {
        key.value = *stored;
        key.set = !k.secret || !stored->empty();
      }
      if (k.secret) key.value.clear();
      file.keys.push_back(std::move(key));
    }
    files.push_back(std::move(file));
  }
  return files;
}

RemoteSettings::Outcome RemoteSettings::change(const std::string& file, const std::string& key,
                                               const std::string& value, const std::string& user) {
  const auto all = entries();
  auto entry = std::find_if(all.begin(), all.end(), [&](const Entry& e) { return e.table->file() == file; });
  if (entry == all.end()) return {false, "no such settings file", false};
  const SettingKey* k = entry->table->find(key);
  if (!k) return {false, file + " has no key " + key, false};
  const std::string path = entry->path.string();
  // A line break would end the value's line in the file; the rest would be read as keys of their own.
  if (std::any_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
    return {false, path + ": the value of " + key + " cannot hold a line break or a control character", false};
  if (value.size() > kProfileValueLimit)
    return {false, path + ": the value of " + key + " is longer than 255 characters", false};
  if (const std::string why = entry->table->valueProblem(path, key, value); !why.empty())
    return {false, why + "; nothing was saved.", false};

  const std::string shown = k->secret ? "(a new value)" : "\"" + value + "\"";
  program_.historyLog().append("Web: " + user + ": " + file + " " + key + " = " + shown);
  if (inMainWindow(file, key)) {
    // As the operator does it: typed into the main window's control, then "Save Data".
    frmMain& main = program_.main();
    mainControl(main, key)->operatorEdit(value);
    main.Command7.click();
    return {true, "saved; in effect now", false};
  }
  ProfileFile ini = ProfileFile::load(entry->path);
  ini.write("SETTINGS", key, value);
  if (auto error = ini.save(entry->path, entry->newFileMode)) return {false, *error + "; nothing was saved.", false};
  if (auto apply = apply_.find(file); apply != apply_.end() && apply->second())
    return {true, "saved; in effect now", false};
  return {true, "saved; takes effect at the next start", true};
}

}  // namespace qm
