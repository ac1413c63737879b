#include "access/dial_rules.h"

#include <cctype>

#include "platform/vb_text.h"

namespace qm {

namespace {

// One element of a compiled pattern.
struct Token {
  enum Kind { Literal, AnyChar, AnyRun, Set } kind;
  char literal = 0;
  bool digits[10] = {};
};

bool literalAllowed(char c) {
  if (std::isdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c))) return true;
  if (c >= 'A' && c <= 'D') return true;
  return std::string_view("+#@._-:").find(c) != std::string_view::npos;
}

std::optional<std::vector<Token>> compile(std::string_view p, std::string& why) {
  std::vector<Token> out;
  if (p.empty()) {
    why = "the pattern is empty";
    return std::nullopt;
  }
  for (std::size_t i = 0; i < p.size(); ++i) {
    char c = p[i];
    Token t{Token::Literal};
    if (c == '\\') {
      if (i + 1 >= p.size()) {
        why = "a \\ at the end escapes nothing";
        return std::nullopt;
      }
      t.literal = p[++i];
    } else if (c == '?') {
      t.kind = Token::AnyChar;
    } else if (c == '*') {
      t.kind = Token::AnyRun;
    } else if (c == 'X' || c == 'N') {
      t.kind = Token::Set;
      for (int d = c == 'X' ? 0 : 2; d <= 9; ++d) t.digits[d] = true;
    } else if (c == '[') {
      t.kind = Token::Set;
      std::size_t close = p.find(']', i + 1);
      if (close == std::string_view::npos) {
        why = "the [ at character " + std::to_string(i + 1) + " is never closed";
        return std::nullopt;
      }
      std::string_view set = p.substr(i + 1, close - i - 1);
      if (set.empty()) {
        why = "the set at character " + std::to_string(i + 1) + " is empty";
        return std::nullopt;
      }
      for (std::size_t k = 0; k < set.size(); ++k) {
        char from = set[k];
        char to = from;
        if (k + 2 < set.size() && set[k + 1] == '-') {
          to = set[k + 2];
          k += 2;
        }
        if (!std::isdigit(static_cast<unsigned char>(from)) || !std::isdigit(static_cast<unsigned char>(to)) ||
            to < from) {
          why = "the set [" + std::string(set) + "] holds something other than digits and rising ranges";
          return std::nullopt;
        }
        for (char d = from; d <= to; ++d) t.digits[d - '0'] = true;
      }
      i = close;
    } else if (literalAllowed(c)) {
      t.literal = c;
    } else {
      why = std::string("the character '") + c + "' has no meaning in a pattern (write \\" + c +
            " for the character itself)";
      return std::nullopt;
    }
    out.push_back(t);
  }
  return out;
}

bool tokenMatches(const Token& t, char c) {
  switch (t.kind) {
    case Token::Literal:
      return t.literal == c;
    case Token::AnyChar:
      return true;
    case Token::Set:
      return c >= '0' && c <= '9' && t.digits[c - '0'];
    case Token::AnyRun:
      return false;
  }
  return false;
}

// Backtracking over the last `*` only: linear for patterns without stars, never exponential.
bool matchTokens(const std::vector<Token>& tokens, std::string_view s) {
  std::size_t ti = 0, si = 0;
  std::optional<std::size_t> starToken, starText;
  while (si < s.size()) {
    if (ti < tokens.size() && tokens[ti].kind == Token::AnyRun) {
      starToken = ti++;
      starText = si;
    } else if (ti < tokens.size() && tokenMatches(tokens[ti], s[si])) {
      ++ti;
      ++si;
    } else if (starToken) {
      ti = *starToken + 1;
      si = ++*starText;
    } else {
      return false;
    }
  }
  while (ti < tokens.size() && tokens[ti].kind == Token::AnyRun) ++ti;
  return ti == tokens.size();
}

}  // namespace

const char* verbName(RuleVerb verb) {
  switch (verb) {
    case RuleVerb::Allow:
      return "allow";
    case RuleVerb::Deny:
      return "deny";
    case RuleVerb::Always:
      return "always";
  }
  return "";
}

std::optional<DialRule> DialRules::parseRule(std::string_view text, int line, std::string& why) {
  text = trimBlanks(text);
  std::size_t blank = text.find_first_of(" \t");
  std::string_view verb = text.substr(0, blank);
  std::string_view pattern = blank == std::string_view::npos ? std::string_view() : trimBlanks(text.substr(blank));
  DialRule rule{RuleVerb::Allow, std::string(pattern), line};
  if (equalsIgnoreCase(verb, "allow")) {
    rule.verb = RuleVerb::Allow;
  } else if (equalsIgnoreCase(verb, "deny")) {
    rule.verb = RuleVerb::Deny;
  } else if (equalsIgnoreCase(verb, "always")) {
    rule.verb = RuleVerb::Always;
  } else {
    why = "a rule starts with allow, deny or always, not \"" + std::string(verb) + "\"";
    return std::nullopt;
  }
  if (pattern.find_first_of(" \t") != std::string_view::npos) {
    why = "a rule has one pattern, without blanks";
    return std::nullopt;
  }
  if (!compile(pattern, why)) return std::nullopt;
  return rule;
}

bool DialRules::matches(std::string_view pattern, std::string_view target) {
  std::string why;
  auto tokens = compile(pattern, why);
  return tokens && matchTokens(*tokens, target);
}

DialDecision DialRules::decide(std::string_view target) const {
  for (const DialRule& rule : rules_) {
    if (!matches(rule.pattern, target)) continue;
    DialDecision d;
    d.allowed = rule.verb != RuleVerb::Deny;
    d.exempt = rule.verb == RuleVerb::Always;
    d.reason = "dial rule on line " + std::to_string(rule.line) + ": " + verbName(rule.verb) + " " + rule.pattern;
    return d;
  }
  DialDecision d;
  d.allowed = defaultAllows_;
  d.reason = std::string("no dial rule matches; the default is ") + (defaultAllows_ ? "allow" : "deny");
  return d;
}

}  // namespace qm
