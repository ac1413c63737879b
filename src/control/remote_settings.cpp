#include "control/remote_settings.h"

#include <algorithm>

#include "access/access_settings.h"
#include "app/frm_main.h"
#include "app/main_settings_table.h"
#include "app/program.h"
#include "courtesy/courtesy_settings_table.h"
#include "courtesy/form21.h"
#include "echolink_net/echolink_net_settings.h"
#include "history/history_log.h"
#include "platform/profile_file.h"
#include "radio/radio_settings.h"
#include "sip/sip_settings.h"
#include "web/web_settings.h"

namespace qm {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The window's control that keeps `key` (VOICESPEED in VoiceSpeed), or null.
Control* controlFor(Window& window, const std::string& key) {
  for (Control* control : window.controls())
    if (lower(control->name()) == lower(key)) return control;
  return nullptr;
}

}  // namespace

RemoteSettings::RemoteSettings(Program& program, std::map<std::string, std::function<bool()>> apply)
    : program_(program), apply_(std::move(apply)) {}

std::vector<RemoteSettings::Entry> RemoteSettings::entries() const {
  const Folders& f = program_.backends().folders;
  // The main and the courtesy window hold their files' keys in controls and save them with their own button; a file
  // that may hold a password, a PIN or a token is made private.
  const auto main = [this]() -> Window* { return &program_.main(); };
  const auto courtesy = [this]() -> Window* { return &program_.form21(); };
  return {
      {&mainSettingsTable(), f.inProgramFolder(mainSettingsTable().file()), 0666, main,
       [this] { program_.main().Command7.click(); }},
      {&courtesySettingsTable(), f.machineWide(kCourtesySettingsFile), 0666, courtesy,
       [this] { program_.form21().Command2.click(); }},
      {&radio::radioSettingsTable(), f.inProgramFolder(radio::kRadioSettingsFile), 0666},
      {&sipSettingsTable(), f.inProgramFolder(kSipSettingsFile), 0600},
      {&echolink_net::echoLinkSettingsTable(), f.inProgramFolder(echolink_net::kEchoLinkSettingsFile), 0600},
      {&dialRulesSettingsTable(), f.inProgramFolder(kDialRulesFile), 0600},
      {&web::webSettingsTable(), f.machineWide(web::kWebSettingsFile), 0600},
  };
}

Control* RemoteSettings::inWindow(const Entry& entry, const std::string& key) const {
  return entry.window ? controlFor(*entry.window(), key) : nullptr;
}

bool RemoteSettings::nextStart(const Entry& entry, const std::string& key) const {
  return !inWindow(entry, key) && !apply_.count(entry.table->file());
}

std::vector<RemoteSettings::File> RemoteSettings::list() const {
  std::vector<File> files;
  for (const Entry& e : entries()) {
    const ProfileFile ini = ProfileFile::load(e.path);
    File file{e.table, e.path, {}};
    for (const SettingKey& k : e.table->keys()) {
      Key key{&k, "", false, nextStart(e, k.name)};
      // A window's keys as the window holds them (what its save would write).
      if (Control* control = inWindow(e, k.name)) {
        key.value = control->value();
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
  if (Control* control = inWindow(*entry, key)) {
    // As the operator does it: typed into the window's control, then its save button.
    control->operatorEdit(value);
    entry->save();
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
