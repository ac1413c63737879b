#include "access/access_settings.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/profile_file.h"
#include "platform/vb_text.h"

namespace qm {

namespace {

void readNumber(const ProfileFile& file, const std::string& fileName, const char* key, int min, int max, int& value,
                std::vector<std::string>& problems) {
  auto text = file.get("SETTINGS", key);
  if (!text) return;
  auto v = parseInteger(*text);
  if (v && *v >= min && *v <= max) {
    value = static_cast<int>(*v);
    return;
  }
  problems.push_back(fileName + ": the value \"" + *text + "\" of " + key + " is not a whole number from " +
                     std::to_string(min) + " to " + std::to_string(max) + "; using " + std::to_string(value) +
                     " instead.");
}

}  // namespace

AccessSettings parseAccessSettings(std::string_view text, const std::string& fileName) {
  AccessSettings s;
  s.present = true;
  ProfileFile file = ProfileFile::parse(text);

  readNumber(file, fileName, "CallsPerHour", 0, 10000, s.callsPerHour, s.problems);
  readNumber(file, fileName, "LongestCallMinutes", 0, 24 * 60, s.longestCallMinutes, s.problems);
  int codes = 0;
  readNumber(file, fileName, "OneTimeCodes", 0, 1, codes, s.problems);
  s.oneTimeCodes = codes == 1;
  readNumber(file, fileName, "WrongCodesAllowed", 1, 1000, s.wrongCodesAllowed, s.problems);
  readNumber(file, fileName, "LockoutMinutes", 1, 24 * 60, s.lockoutMinutes, s.problems);
  readNumber(file, fileName, "CodeWindow", 0, 10, s.codeWindow, s.problems);
  readNumber(file, fileName, "RingSeconds", 10, 300, s.ringSeconds, s.problems);
  readNumber(file, fileName, "WrongPinsAllowed", 1, 1000, s.wrongPinsAllowed, s.problems);
  if (auto code = file.get("SETTINGS", "AnswerCode")) {
    std::string c(trimBlanks(*code));
    if (!c.empty() && c.size() <= 8 && c.find_first_not_of("0123456789ABCD*#") == std::string::npos)
      s.answerCode = c;
    else
      s.problems.push_back(fileName + ": the AnswerCode \"" + *code +
                           "\" is no DTMF code (0-9, A-D, * and #, up to 8); using " + s.answerCode + " instead.");
  }

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
