#pragma once
// quillmere_dialrules.ini in the program folder: section [SETTINGS] holds the default, the call limits and the
// one-time code settings; section [RULES] holds the dial rules, one a line, in the order they are tried. Without the
// file nothing is restricted; a file that exists but cannot be read closes the station to dialling. Section
// [INCOMING] holds the rules for calls from the telephone (incoming_rules.h); without it none is taken.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "access/dial_rules.h"
#include "access/incoming_rules.h"
#include "platform/settings_table.h"

namespace qm {

inline constexpr const char* kDialRulesFile = "quillmere_dialrules.ini";

struct AccessSettings {
  bool present = false;    // the file exists: access control is on
  bool readable = true;    // false: it exists but cannot be read, and nothing may be dialled
  std::string unreadable;  // why it cannot be read
  DialRules rules;
  int callsPerHour = 0;        // 0: no limit
  int longestCallMinutes = 0;  // 0: no limit
  bool oneTimeCodes = false;   // the switch-on code must be followed by a time-based one-time code
  int wrongCodesAllowed = 3;   // wrong codes in a row before the lock-out
  int lockoutMinutes = 15;
  int codeWindow = 1;  // time steps of 30 s accepted either side of now, for clocks that drift
  // Calls from the telephone: taken only with an [INCOMING] section (even an empty one, which refuses every caller).
  bool incomingOn = false;
  std::vector<IncomingRule> incoming;
  std::string answerCode = "*0";  // what a radio user keys to answer a ringing call
  int ringSeconds = 30;           // how long a call rings on the air before the caller hears busy
  // Wrong PINs from all callers together within LockoutMinutes before every PIN caller is refused for LockoutMinutes:
  // the bound on a caller who forges a new number for each try and so escapes the lock-out of one caller.
  int wrongPinsAllowed = 10;
  // Each names the file and the line or key, what is wrong, and what is done instead.
  std::vector<std::string> problems;
};

// Section [SETTINGS]'s keys (the rules' sections are read line by line, not as keys).
const SettingsTable& dialRulesSettingsTable();

AccessSettings parseAccessSettings(std::string_view text, const std::string& fileName);
AccessSettings readAccessSettings(const std::filesystem::path& path);

}  // namespace qm
