#include "sip/dial_plan.h"

#include "platform/vb_text.h"

namespace qm {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string trim(const std::string& s) {
  auto from = s.find_first_not_of(" \t");
  if (from == std::string::npos) return "";
  auto to = s.find_last_not_of(" \t");
  return s.substr(from, to - from + 1);
}

// The digits of a phone number with its international mark ("+" or "00", empty when national); false when the
// text is not a phone number.
bool phoneNumber(const std::string& text, std::string& mark, std::string& digits) {
  std::size_t i = 0;
  mark.clear();
  digits.clear();
  if (!text.empty() && text[0] == '+') {
    mark = '+';
    i = 1;
  }
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (isDigit(c))
      digits += c;
    else if (c != ' ' && c != '-' && c != '.' && c != '(' && c != ')')
      return false;
  }
  if (digits.empty()) return false;
  if (mark.empty() && startsWith(digits, "00") && digits.size() > 2) {
    mark = "00";
    digits.erase(0, 2);
  }
  return true;
}

bool isName(const std::string& text) {
  if (text.empty() || !isLetter(text[0])) return false;
  for (char c : text)
    if (!isLetter(c) && !isDigit(c) && c != '.' && c != '_' && c != '-') return false;
  return true;
}

bool isHost(const std::string& text) {
  if (text.empty()) return false;
  std::string host = text;
  auto colon = host.rfind(':');
  if (colon != std::string::npos) {
    std::string port = host.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
    for (char c : port)
      if (!isDigit(c)) return false;
    if (std::stoi(port) == 0 || std::stoi(port) > 65535) return false;
    host.erase(colon);
  }
  if (host.empty() || host.front() == '.' || host.front() == '-') return false;
  for (char c : host)
    if (!isLetter(c) && !isDigit(c) && c != '.' && c != '-') return false;
  return true;
}

bool isSipUri(const std::string& text) {
  std::string lower;
  for (char c : text.substr(0, 5)) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (!startsWith(lower, "sip:") && !startsWith(lower, "sips:")) return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '<' || c == '>' || c == 0x7F) return false;
  return text.size() > (startsWith(lower, "sips:") ? 5u : 4u);
}

// The number that goes into the pattern.
std::string dialledNumber(const DialPlan& plan, const std::string& mark, const std::string& digits) {
  if (mark.empty()) return digits;
  return (plan.internationalPrefix.empty() ? mark : plan.internationalPrefix) + digits;
}

}  // namespace

std::string dialledForm(const DialPlan& plan, const std::string& rawTarget) {
  std::string target = trim(rawTarget);
  std::string mark, digits;
  if (phoneNumber(target, mark, digits)) return dialledNumber(plan, mark, digits);
  return target;
}

std::string numberPatternProblem(const std::string& pattern) {
  if (pattern.empty()) return "";
  if (pattern.find("{number}") == std::string::npos) return "it has no {number}";
  std::string sample = replaceAll(replaceAll(pattern, "{number}", "1"), "{domain}", "example.com");
  if (!isSipUri(sample)) return "it is not a sip: or sips: address without blanks";
  return "";
}

DialResult resolveTarget(const DialPlan& plan, const std::string& rawTarget) {
  std::string target = trim(rawTarget);
  if (target.empty()) return {"", "there is nothing to dial"};
  if (isSipUri(target)) return {target, ""};

  std::string mark, digits;
  if (phoneNumber(target, mark, digits)) {
    std::string pattern = plan.numberPattern.empty() ? "sip:{number}@{domain}" : plan.numberPattern;
    if (auto p = numberPatternProblem(pattern); !p.empty())
      return {"", "the dial pattern \"" + pattern + "\" cannot be used: " + p};
    if (pattern.find("{domain}") != std::string::npos && plan.domain.empty())
      return {"", "phone numbers need a dial pattern or a SIP account with a domain"};
    std::string number = dialledNumber(plan, mark, digits);
    return {replaceAll(replaceAll(pattern, "{number}", number), "{domain}", plan.domain), ""};
  }
  auto at = target.find('@');
  if (at != std::string::npos) {
    std::string user = target.substr(0, at), host = target.substr(at + 1);
    if (isName(user) || (phoneNumber(user, mark, digits) && user.find(' ') == std::string::npos)) {
      if (isHost(host)) return {"sip:" + target, ""};
    }
    return {"", "\"" + target + "\" is not an address that can be dialled"};
  }
  if (isName(target)) {
    if (plan.domain.empty()) return {"", "names need a SIP account with a domain, or a name domain"};
    return {"sip:" + target + "@" + plan.domain, ""};
  }
  return {"", "\"" + target + "\" is neither a number, a name nor a SIP address"};
}

}  // namespace qm
