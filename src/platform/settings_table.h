#pragma once
// A settings file described as a table: one row per key (name, kind, default, range or choices, one line of help).
// Reading, the messages that name a bad value, the settings windows, --check, the manual page and the example files
// all read the same rows, so a key is stated once. A new key is one row in its file's table (see settings_binding.h
// for the rows that fill a settings struct).
#include <string>
#include <vector>

#include "platform/profile_file.h"

namespace qm {

enum class SettingKind {
  Text,    // any text; `check` says what cannot be used
  Whole,   // a whole number from `min` to `max`
  Number,  // a number from `min` to `max`, fractions allowed
  Choice,  // one of `choices` (a flag is the choice of 0 or 1)
  List,    // comma-separated items
};

struct SettingKey {
  std::string name{};
  SettingKind kind = SettingKind::Text;
  std::string fallback{};  // the default, as the file holds it
  double min = 0, max = 0;
  std::string unit{};  // of a number: "ms", "dBFS" ...
  std::vector<std::string> choices{};
  std::string help{};  // one line: the manual page, the example file, the window's tool tip
  // Why a value cannot be used, or empty when it can; when set it replaces the kind's own check (and its wording).
  std::string (*check)(const std::string& value) = nullptr;
  bool secret = false;    // a password: never repeated in a message
  std::string example{};  // a value worth showing beside the default (a provider's address, a CM108 line)
};

class SettingsTable {
 public:
  // `file`: its name in the program folder; `about`: a sentence or two on what it is for.
  SettingsTable(std::string file, std::string about, std::vector<SettingKey> keys);

  const std::string& file() const { return file_; }
  const std::string& about() const { return about_; }
  const std::vector<SettingKey>& keys() const { return keys_; }
  const SettingKey* find(const std::string& name) const;

  // Why `value` cannot be used for the key, or empty when it can (and for a key the table does not know).
  std::string problem(const std::string& name, const std::string& value) const;
  // The same as a sentence naming the file, the key and the value (hidden for a secret): "FILE: the value "V" of KEY
  // WHY"; empty when the value can be used.
  std::string valueProblem(const std::string& fileName, const std::string& name, const std::string& value) const;
  // The key's value in section SETTINGS of `file`, or its default when absent or unusable; an unusable one is named
  // in `problems`: "FILE: the value "V" of KEY WHY; using "DEFAULT" instead."
  std::string read(const ProfileFile& file, const std::string& fileName, const SettingKey& key,
                   std::vector<std::string>& problems) const;

  // The example file: every key with its help (and an example value where one is given) and its default.
  std::string exampleFile() const;
  // The keys as a roff subsection for the manual page.
  std::string manSection() const;
  // The keys as a Markdown table (key, default, meaning) for the reference.
  std::string markdownTable() const;

 private:
  std::string file_, about_;
  std::vector<SettingKey> keys_;
};

// A number as a settings file holds it: no trailing zeros, no exponent (-40, 6.5).
std::string settingNumber(double value);
// "a, b ,c" -> {"a", "b", "c"}; empty items are dropped.
std::vector<std::string> splitList(const std::string& text);

}  // namespace qm
