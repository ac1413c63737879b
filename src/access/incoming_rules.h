#pragma once
// Who may call the node from the telephone: section [INCOMING] of quillmere_dialrules.ini, one rule a line, tried in
// order; the first whose pattern matches the caller decides, and a caller no rule matches is refused. Without the
// section every incoming call is refused (busy), as when the node takes no calls at all.
//   deny    PATTERN                  refused with "forbidden" (SIP 403)
//   allow   PATTERN ring             announced on the air; a radio user answers with the answer code
//   allow   PATTERN pin DIGITS       the caller keys DIGITS on the phone first (then # or nothing more)
//   allow   PATTERN pin DIGITS code  ... followed by the six digits of the one-time code app
//   trusted PATTERN auto             answered at once and put on the air ("auto" only here)
//   trusted PATTERN ring|pin ...     as allow
// PATTERN is a dial rule pattern (dial_rules.h) over the caller's number or name as the telephone gives it, letters
// taken in lower case. Caller numbers can be forged: `pin` is the mode that does not rest on them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

enum class IncomingMode { Ring, Pin, Auto };

struct IncomingRule {
  bool allow = false;
  bool trusted = false;
  std::string pattern;
  IncomingMode mode = IncomingMode::Ring;
  std::string pin;           // `pin` mode: the digits the caller keys
  bool oneTimeCode = false;  // `pin ... code`: the PIN is followed by a one-time code
  int line = 0;
};

// The caller's form the patterns are matched against: letters in lower case.
std::string callerForm(std::string_view caller);
// A rule line of [INCOMING]; nothing when it does not parse, and `why` says why.
std::optional<IncomingRule> parseIncomingRule(std::string_view text, int line, std::string& why);
// The first rule matching `caller`, or null: refused.
const IncomingRule* matchIncoming(const std::vector<IncomingRule>& rules, std::string_view caller);
// One line for --check and the history log: "line 12: allow 555* pin (with a one-time code)".
std::string describeIncomingRule(const IncomingRule& rule);
const char* modeName(IncomingMode mode);

}  // namespace qm
