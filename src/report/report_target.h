#pragma once
// Where the usage report goes: a host (with an optional port) and a path, from a URL such as
// "http://stats.example.org/quillmere/stats.php". Without one, a host under the reserved .invalid domain, which
// resolves nowhere, so that nothing leaves the machine unless the operator names a server.
#include <optional>
#include <string>

namespace qm {

struct ReportTarget {
  std::string host = "stats.quillmere.invalid";
  std::string path = "/quillmere/stats.php";
};

// "http://HOST[:PORT][/PATH]" (the scheme may be left out; the path defaults to "/"). Nothing for any other scheme,
// an empty host, or blanks and control characters, which no URL holds.
std::optional<ReportTarget> parseReportUrl(const std::string& url);

}  // namespace qm
