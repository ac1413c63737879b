#include "report/report_target.h"

#include <string>

#include "platform/vb_text.h"

namespace qm {

std::optional<ReportTarget> parseReportUrl(const std::string& url) {
  for (unsigned char c : url)
    if (c <= ' ' || c == 0x7F) return std::nullopt;
  std::string rest = url;
  if (equalsIgnoreCase(rest.substr(0, 7), "http://"))
    rest = rest.substr(7);
  else if (rest.find("://") != std::string::npos)
    return std::nullopt;
  ReportTarget t;
  std::size_t slash = rest.find('/');
  t.host = rest.substr(0, slash);
  t.path = slash == std::string::npos ? "/" : rest.substr(slash);
  if (t.host.empty() || t.host.find_first_of("?#@") != std::string::npos) return std::nullopt;
  // An optional port after the last colon outside an IPv6 literal's brackets.
  std::size_t colon = t.host.rfind(':');
  std::size_t bracket = t.host.rfind(']');
  if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
    std::string port = t.host.substr(colon + 1);
    if (colon == 0 || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    if (int n = std::stoi(port); n < 1 || n > 65535) return std::nullopt;
  }
  return t;
}

}  // namespace qm
