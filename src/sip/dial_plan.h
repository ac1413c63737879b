#pragma once
// The dial plan: how a call target (what follows "CALL " in the Skype API: a phone number, a Skype-style name or a
// SIP address) becomes the SIP URI that is dialled.
//   - a SIP URI ("sip:..." or "sips:...") is dialled as it is;
//   - a phone number (digits, with an optional leading "+" or "00", blanks, dashes, dots and brackets ignored) goes
//     into the number pattern, "{number}" standing for the number; a leading "+" or "00" is replaced by the
//     international prefix when one is set;
//   - a name (letters first, then letters, digits, ".", "_", "-") becomes sip:NAME@DOMAIN, and a name@host address
//     becomes sip:name@host.
// "{domain}" in the pattern stands for the domain. Anything else cannot be dialled.
#include <string>

namespace qm {

struct DialPlan {
  std::string numberPattern;        // e.g. "sip:{number}@provider.example"; empty: "sip:{number}@{domain}"
  std::string internationalPrefix;  // what a leading "+" or "00" becomes ("+", "00", "011" ...); empty: as dialled
  std::string domain;               // for names and {domain}; empty when there is none
};

struct DialResult {
  std::string uri;      // empty when the target cannot be dialled
  std::string problem;  // why not, for the operator
};

DialResult resolveTarget(const DialPlan& plan, const std::string& target);

// The target as it is dialled, the form the dial rules judge: a phone number as the number that goes into the
// pattern (punctuation dropped, "+" or "00" replaced by the international prefix when one is set); anything else as
// written, without the blanks around it.
std::string dialledForm(const DialPlan& plan, const std::string& target);

// Why a number pattern cannot be used, or empty when it can.
std::string numberPatternProblem(const std::string& pattern);

}  // namespace qm
