#include "access/incoming_rules.h"

#include <cctype>
#include <sstream>

#include "access/dial_rules.h"
#include "platform/vb_text.h"

namespace qm {

namespace {

constexpr std::size_t kLongestPin = 16;

bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

const char* modeName(IncomingMode mode) {
  switch (mode) {
    case IncomingMode::Ring:
      return "ring";
    case IncomingMode::Pin:
      return "pin";
    case IncomingMode::Auto:
      return "auto";
  }
  return "ring";
}

std::string callerForm(std::string_view caller) {
  std::string out(caller);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::optional<IncomingRule> parseIncomingRule(std::string_view text, int line, std::string& why) {
  std::istringstream in{std::string(text)};
  std::vector<std::string> words;
  for (std::string w; in >> w;) {
    if (w[0] == ';') break;  // a comment after the rule
    words.push_back(w);
  }
  IncomingRule rule;
  rule.line = line;
  if (words.empty()) {
    why = "it is empty";
    return std::nullopt;
  }
  const std::string verb = callerForm(words[0]);
  if (verb != "allow" && verb != "deny" && verb != "trusted") {
    why = "it starts with neither allow, deny nor trusted";
    return std::nullopt;
  }
  if (words.size() < 2) {
    why = "it has no caller pattern";
    return std::nullopt;
  }
  std::string patternWhy;
  if (!DialRules::parseRule("allow " + words[1], line, patternWhy)) {
    why = patternWhy;
    return std::nullopt;
  }
  rule.pattern = words[1];
  rule.allow = verb != "deny";
  rule.trusted = verb == "trusted";
  if (!rule.allow) {
    if (words.size() > 2) {
      why = "a deny rule takes a pattern only";
      return std::nullopt;
    }
    return rule;
  }
  if (words.size() < 3) {
    why = "it names no mode (ring, pin or auto)";
    return std::nullopt;
  }
  const std::string mode = callerForm(words[2]);
  if (mode == "ring") {
    rule.mode = IncomingMode::Ring;
  } else if (mode == "auto") {
    if (!rule.trusted) {
      why = "auto answers without anyone on the radio, so only a trusted rule may use it";
      return std::nullopt;
    }
    rule.mode = IncomingMode::Auto;
  } else if (mode == "pin") {
    rule.mode = IncomingMode::Pin;
    if (words.size() < 4 || !allDigits(words[3]) || words[3].size() < 4 || words[3].size() > kLongestPin) {
      why = "pin takes a PIN of 4 to " + std::to_string(kLongestPin) + " digits";
      return std::nullopt;
    }
    rule.pin = words[3];
    if (words.size() == 5 && callerForm(words[4]) == "code") {
      rule.oneTimeCode = true;
    } else if (words.size() > 4) {
      why = "after the PIN only the word code may follow";
      return std::nullopt;
    }
    return rule;
  } else {
    why = "\"" + words[2] + "\" is no mode (ring, pin or auto)";
    return std::nullopt;
  }
  if (words.size() > 3) {
    why = "the mode " + mode + " takes nothing after it";
    return std::nullopt;
  }
  return rule;
}

const IncomingRule* matchIncoming(const std::vector<IncomingRule>& rules, std::string_view caller) {
  const std::string form = callerForm(caller);
  for (const IncomingRule& r : rules)
    if (DialRules::matches(r.pattern, form)) return &r;
  return nullptr;
}

std::string describeIncomingRule(const IncomingRule& r) {
  std::string text = "line " + std::to_string(r.line) + ": " +
                     (!r.allow    ? "deny"
                      : r.trusted ? "trusted"
                                  : "allow") +
                     " " + r.pattern;
  if (!r.allow) return text;
  text += std::string(" ") + modeName(r.mode);
  if (r.mode == IncomingMode::Pin) text += r.oneTimeCode ? " (PIN and one-time code)" : " (PIN)";
  return text;
}

}  // namespace qm
