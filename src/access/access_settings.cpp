#include "access/access_settings.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/profile_file.h"
#include "platform/settings_table.h"
#include "platform/vb_text.h"

namespace qm {

namespace {

std::string answerCodeProblem(const std::string& value) {
  std::string c(trimBlanks(value));
  if (!c.empty() && c.size() <= 8 && c.find_first_not_of("0123456789ABCD*#") == std::string::npos) return "";
  return "is no DTMF code (0-9, A-D, * and #, up to 8)";
}

SettingKey whole(const char* name, int fallback, int min, int max, const char* unit, const char* help) {
  return {.name = name,
          .kind = SettingKind::Whole,
          .fallback = std::to_string(fallback),
          .min = static_cast<double>(min),
          .max = static_cast<double>(max),
          .unit = unit,
          .help = help};
}

// The key's value as a whole number (its row has checked it), or the default.
int number(const SettingsTable& table, const ProfileFile& file, const std::string& fileName, const char* key,
           std::vector<std::string>& problems) {
  return static_cast<int>(*parseInteger(table.read(file, fileName, *table.find(key), problems)));
}

}  // namespace

const SettingsTable& dialRulesSettingsTable() {
  const AccessSettings d;
  static const SettingsTable table(
      kDialRulesFile,
      "Who may dial what, and who may call in: section [SETTINGS] holds the keys below, [RULES] the dial rules (one a "
      "line, tried in order: allow, deny or always and a pattern) and [INCOMING] the rules for calls from the "
      "telephone. In the program folder; without the file nothing is restricted. Keep it readable by the node's user "
      "only when it holds PINs. Default=deny with no [RULES] refuses every number.",
      {
          {.name = "Default",
           .kind = SettingKind::Choice,
           .fallback = "deny",
           .choices = {"allow", "deny"},
           .help = "what happens to a number no rule matches; left out: deny when the file has a [RULES] "
                   "section (even one whose rules all fail to parse), allow when it has none (a file for limits or "
                   "codes only)"},
          whole("CallsPerHour", d.callsPerHour, 0, 10000, "",
                "at most this many calls placed in any 60 minutes; 0: no limit"),
          whole("LongestCallMinutes", d.longestCallMinutes, 0, 24 * 60, "min",
                "a call is hung up after this many minutes; 0: no limit (the transmit time-out still applies)"),
          whole("OneTimeCodes", d.oneTimeCodes ? 1 : 0, 0, 1, "",
                "1: the switch-on code must be followed by a one-time code"),
          whole("WrongCodesAllowed", d.wrongCodesAllowed, 1, 1000, "",
                "wrong one-time codes (or a caller's wrong PINs) in a row before the lock-out"),
          whole("LockoutMinutes", d.lockoutMinutes, 1, 24 * 60, "min",
                "how long the switch-on code (or the caller) stays locked out"),
          whole("CodeWindow", d.codeWindow, 0, 10, "",
                "30-second steps either side of now whose codes are taken too, for a clock that drifts"),
          whole("RingSeconds", d.ringSeconds, 10, 300, "s",
                "how long a call from the telephone rings on the air (announced every 10 s) before the caller hears "
                "busy"),
          whole("WrongPinsAllowed", d.wrongPinsAllowed, 1, 1000, "",
                "wrong PINs from all callers together within LockoutMinutes before every caller of a pin rule is "
                "refused (403) for LockoutMinutes: the bound on a caller who forges a new number for each try"),
          {.name = "AnswerCode",
           .fallback = d.answerCode,
           .help =
               "what a radio user keys to answer a call from the telephone that rings on the air; it must differ from "
               "the program's codes and the node's functions, which --check and the start check",
           .check = answerCodeProblem},
      });
  return table;
}

AccessSettings parseAccessSettings(std::string_view text, const std::string& fileName) {
  AccessSettings s;
  s.present = true;
  ProfileFile file = ProfileFile::parse(text);

  const SettingsTable& table = dialRulesSettingsTable();
  s.callsPerHour = number(table, file, fileName, "CallsPerHour", s.problems);
  s.longestCallMinutes = number(table, file, fileName, "LongestCallMinutes", s.problems);
  s.oneTimeCodes = number(table, file, fileName, "OneTimeCodes", s.problems) == 1;
  s.wrongCodesAllowed = number(table, file, fileName, "WrongCodesAllowed", s.problems);
  s.lockoutMinutes = number(table, file, fileName, "LockoutMinutes", s.problems);
  s.codeWindow = number(table, file, fileName, "CodeWindow", s.problems);
  s.ringSeconds = number(table, file, fileName, "RingSeconds", s.problems);
  s.wrongPinsAllowed = number(table, file, fileName, "WrongPinsAllowed", s.problems);
  s.answerCode = std::string(trimBlanks(table.read(file, fileName, *table.find("AnswerCode"), s.problems)));

  // The rules, line by line: the profile reader knows keys, not ordered lines.
  bool inRules = false, rulesSection = false, inIncoming = false;
  int number = 0;
  std::size_t at = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") at = 3;
  while (at <= text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    ++number;
    if (end == std::string_view::npos) {
      at = text.size() + 1;
    } else {
      at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    std::string_view content = trimBlanks(line);
    if (content.empty() || content[0] == ';') continue;
    if (content[0] == '[') {
      std::size_t close = content.find(']');
      std::string_view name = close == std::string_view::npos ? "" : trimBlanks(content.substr(1, close - 1));
      inRules = equalsIgnoreCase(name, "RULES");
      inIncoming = equalsIgnoreCase(name, "INCOMING");
      rulesSection = rulesSection || inRules;
      s.incomingOn = s.incomingOn || inIncoming;
      continue;
    }
    std::string why;
    if (inIncoming) {
      if (auto rule = parseIncomingRule(content, number, why))
        s.incoming.push_back(*rule);
      else
        s.problems.push_back(fileName + " line " + std::to_string(number) + ": \"" + std::string(content) +
                             "\" is no incoming rule (" + why +
                             "); it is left out, and a caller it would have let "
                             "in is refused.");
      continue;
    }
    if (!inRules) continue;
    if (auto rule = DialRules::parseRule(content, number, why)) {
      s.rules.add(*rule);
    } else {
      s.problems.push_back(fileName + " line " + std::to_string(number) + ": \"" + std::string(content) +
                           "\" is no dial rule (" + why + "); it is left out and the other rules apply.");
    }
  }
  // Without a Default, a file with dial rules (even ones that do not parse) refuses what they do not allow; a file
  // without a [RULES] section restricts no number (it may be there for the limits or the codes alone).
  auto def = file.get("SETTINGS", "Default");
  bool allow = !rulesSection;
  if (def && equalsIgnoreCase(trimBlanks(*def), "allow")) {
    allow = true;
  } else if (def && equalsIgnoreCase(trimBlanks(*def), "deny")) {
    allow = false;
  } else if (def) {
    allow = false;
    s.problems.insert(s.problems.begin(),
                      fileName + ": the value \"" + *def + "\" of Default is neither allow nor deny; using deny.");
  }
  s.rules.setDefault(allow);
  return s;
}

AccessSettings readAccessSettings(const std::filesystem::path& path) {
  AccessSettings s;
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return s;
  const bool regular = !ec && std::filesystem::is_regular_file(status);
  // A rule file is a few lines: one of megabytes is a mistake, and reading it whole would hold the start.
  const bool tooLong = regular && std::filesystem::file_size(path, ec) > kProfileFileLimit;
  std::ifstream in;
  if (regular && !tooLong) in.open(path, std::ios::binary);
  std::ostringstream content;
  if (in) content << in.rdbuf();
  if (ec || !regular || tooLong || !in || in.bad()) {
    s.present = true;
    s.readable = false;
    s.unreadable = path.string() + " cannot be read (" +
                   (ec         ? ec.message()
                    : !regular ? "not a file"
                    : tooLong  ? "longer than " + std::to_string(kProfileFileLimit / (1024 * 1024)) + " MiB"
                               : "access denied") +
                   "); nothing may be dialled until it can.";
    s.problems.push_back(s.unreadable);
    return s;
  }
  AccessSettings parsed = parseAccessSettings(content.str(), path.filename().string());
  // PINs are secrets: a file others on the machine can read gives them away. The operator's file is named, not changed.
  const bool pins = std::any_of(parsed.incoming.begin(), parsed.incoming.end(),
                                [](const IncomingRule& rule) { return !rule.pin.empty(); });
  if (pins && (status.permissions() & std::filesystem::perms::others_read) != std::filesystem::perms::none)
    parsed.problems.push_back(path.string() +
                              " holds PINs for calls from the telephone and other users of this machine can read it; "
                              "make it readable by the node's user only (chmod 640 or 600).");
  return parsed;
}

}  // namespace qm
