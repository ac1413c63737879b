#pragma once
// Ordered allow and deny patterns on a dialled number or name: the first rule that matches decides, and a default
// decides when none does. Written one rule a line: a verb (`allow`, `deny`, or `always`: allowed and exempt from the
// call limits, for an emergency number) and a pattern over the whole target:
//   0-9 + A-D # and lower-case letters, @ . _ - :   themselves
//   X  any digit        N  a digit 2-9          ?  any one character
//   *  any run of characters (none included)    [2-9] [0145]  one digit of a set or range
//   \c the character c itself (\* for a DTMF star)
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class RuleVerb { Allow, Deny, Always };

struct DialRule {
  RuleVerb verb;
  std::string pattern;  // as written
  int line = 0;         // where it stands in its file
};

struct DialDecision {
  bool allowed = false;
  bool exempt = false;  // an `always` rule: the call limits do not apply
  std::string reason;   // which rule (or the default) decided, for the history log
};

class DialRules {
 public:
  // A pattern that does not parse: nothing, and `why` says what is wrong with it.
  static std::optional<DialRule> parseRule(std::string_view text, int line, std::string& why);
  // Whether `pattern` matches the whole of `target`; false for a pattern that does not parse.
  static bool matches(std::string_view pattern, std::string_view target);

  void add(DialRule rule) { rules_.push_back(std::move(rule)); }
  void setDefault(bool allow) { defaultAllows_ = allow; }
  const std::vector<DialRule>& rules() const { return rules_; }

  DialDecision decide(std::string_view target) const;

 private:
  std::vector<DialRule> rules_;
  bool defaultAllows_ = false;
};

const char* verbName(RuleVerb verb);

}  // namespace qm
