#include "platform/settings_table.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/vb_text.h"

namespace qm {
namespace {

// The value as a number, when all of it is one (no blanks, no units, no hex).
bool parseNumber(const std::string& text, bool whole, double& value) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || (!whole && c == '.'))) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

std::string kindProblem(const SettingKey& key, const std::string& value) {
  switch (key.kind) {
    case SettingKind::Whole:
    case SettingKind::Number: {
      const bool whole = key.kind == SettingKind::Whole;
      double parsed = 0;
      if (!parseNumber(value, whole, parsed) || parsed < key.min || parsed > key.max)
        return std::string("is not ") + (whole ? "a whole number" : "a number") + " from " + settingNumber(key.min) +
               " to " + settingNumber(key.max) + (key.unit.empty() ? "" : " (" + key.unit + ")");
      return "";
    }
    case SettingKind::Choice: {
      for (const std::string& choice : key.choices)
        if (value == choice) return "";
      if (key.choices.size() == 2) return "is neither " + key.choices[0] + " nor " + key.choices[1];
      std::string list;
      for (const std::string& choice : key.choices) list += (list.empty() ? "" : ", ") + choice;
      return "is none of " + list;
    }
    case SettingKind::Text:
    case SettingKind::List:
      return "";
  }
  return "";
}

// What the key takes, in words: "from 0 to 3600 seconds", "vox or call".
std::string takes(const SettingKey& key) {
  switch (key.kind) {
    case SettingKind::Whole:
    case SettingKind::Number:
      return settingNumber(key.min) + " to " + settingNumber(key.max) + (key.unit.empty() ? "" : " " + key.unit);
    case SettingKind::Choice:
      return orList(key.choices);
    case SettingKind::Text:
    case SettingKind::List:
      return "";
  }
  return "";
}

// Roff text: backslashes as \e, a leading dot or quote kept as text, minus signs as \-.
std::string roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// Comment lines of at most 118 characters, each starting "; ".
std::string comment(const std::string& text) {
  std::string out, line;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t blank = text.find(' ', from);
    const std::string word = text.substr(from, blank == std::string::npos ? std::string::npos : blank - from);
    if (!line.empty() && line.size() + 1 + word.size() > 116) {
      out += "; " + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    from = blank == std::string::npos ? text.size() : blank + 1;
  }
  if (!line.empty()) out += "; " + line + "\n";
  return out;
}

}  // namespace

std::string settingNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", value);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    auto comma = text.find(',', from);
    std::string part = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    auto first = part.find_first_not_of(' ');
    if (first != std::string::npos) out.push_back(part.substr(first, part.find_last_not_of(' ') - first + 1));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return out;
}

SettingsTable::SettingsTable(std::string file, std::string about, std::vector<SettingKey> keys)
    : file_(std::move(file)), about_(std::move(about)), keys_(std::move(keys)) {}

const SettingKey* SettingsTable::find(const std::string& name) const {
  for (const SettingKey& key : keys_)
    if (key.name == name) return &key;
  return nullptr;
}

std::string SettingsTable::problem(const std::string& name, const std::string& value) const {
  const SettingKey* key = find(name);
  if (!key) return "";
  return key->check ? key->check(value) : kindProblem(*key, value);
}

std::string SettingsTable::read(const ProfileFile& file, const std::string& fileName, const SettingKey& key,
                                std::vector<std::string>& problems) const {
  const auto stored = file.get("SETTINGS", key.name);
  if (!stored) return key.fallback;
  if (const std::string why = valueProblem(fileName, key.name, *stored); !why.empty()) {
    problems.push_back(why + "; using \"" + key.fallback + "\" instead.");
    return key.fallback;
  }
  return *stored;
}

std::string SettingsTable::valueProblem(const std::string& fileName, const std::string& name,
                                        const std::string& value) const {
  const std::string why = problem(name, value);
  if (why.empty()) return why;
  const SettingKey* key = find(name);
  const std::string shown = key->secret ? std::string("(hidden)") : "\"" + value + "\"";
  return fileName + ": the value " + shown + " of " + name + " " + why;
}

std::string SettingsTable::exampleFile() const {
  std::string out = comment(about_);
  out += comment("Every key is shown with its default value; a key left out takes the same.");
  out += "[SETTINGS]\n";
  for (const SettingKey& key : keys_) {
    const std::string range = takes(key);
    out += comment(key.help + (range.empty() ? "" : " (" + range + ")"));
    if (!key.example.empty()) out += "; for example: " + key.example + "\n";
    out += key.name + "=" + key.fallback + "\n";
  }
  return out;
}

std::string SettingsTable::manSection() const {
  // Built by appends: GCC 12 at -O3 misreads "literal" + std::string temporaries as overlapping copies.
  // Not hyphenated: the values are read, and searched for, as written.
  std::string out = ".SS ";
  out.append(roff(file_)).append("\n.nh\n").append(roff(about_)).append("\n");
  for (const SettingKey& key : keys_) {
    out.append(".TP\n\\fB").append(roff(key.name)).append("\\fR\n").append(roff(key.help)).append(".");
    const std::string range = takes(key);
    if (!range.empty()) {
      std::string says = key.kind == SettingKind::Choice ? "One of " : "From ";
      says.append(range);
      out.append(" ").append(roff(says)).append(".");
    }
    if (key.fallback.empty())
      out.append(" Default: empty.");
    else
      out.append(" Default: \\fB").append(roff(key.fallback)).append("\\fR.");
    if (!key.example.empty()) out.append(" Example: \\fB").append(roff(key.example)).append("\\fR.");
    out.append("\n");
  }
  return out.append(".hy\n");
}

std::string SettingsTable::markdownTable() const {
  const auto cell = [](const std::string& text) {
    std::string out;
    for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
    return out;
  };
  std::string out = "| key | default | meaning |\n|---|---|---|\n";
  for (const SettingKey& key : keys_) {
    const std::string range = takes(key);
    out.append("| `").append(key.name).append("` | ");
    if (key.fallback.empty())
      out.append("(empty)");
    else
      out.append("`").append(cell(key.fallback)).append("`");
    out.append(" | ").append(cell(key.help));
    if (!range.empty()) out.append(" (").append(cell(range)).append(")");
    if (!key.example.empty()) out.append("; for example `").append(cell(key.example)).append("`");
    out.append(" |\n");
  }
  return out;
}

}  // namespace qm
