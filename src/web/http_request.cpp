#include "web/http_request.h"

#include <algorithm>
#include <cctype>

namespace qm::web {

namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool tokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool hasToken(std::string_view list, std::string_view token) {
  std::string l = lower(list);
  std::size_t start = 0;
  while (start <= l.size()) {
    std::size_t comma = l.find(',', start);
    if (comma == std::string::npos) comma = l.size();
    if (trim(std::string_view(l).substr(start, comma - start)) == token) return true;
    start = comma + 1;
  }
  return false;
}

HeadParse fail(int status) {
  return {HeadParse::Kind::Failed, status, 0};
}

}  // namespace

std::string percentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::string HttpRequest::header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (n == name) return v;
  return "";
}

std::string HttpRequest::cookie(std::string_view name) const {
  std::string all = header("cookie");
  std::string_view rest(all);
  while (!rest.empty()) {
    std::size_t semi = rest.find(';');
    std::string_view part = trim(rest.substr(0, semi));
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    std::size_t eq = part.find('=');
    if (eq != std::string_view::npos && part.substr(0, eq) == name) return std::string(part.substr(eq + 1));
  }
  return "";
}

std::string HttpRequest::queryParameter(std::string_view name) const {
  std::string_view rest(query);
  while (!rest.empty()) {
    std::size_t amp = rest.find('&');
    std::string_view part = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    std::size_t eq = part.find('=');
    if (percentDecode(part.substr(0, eq)) == name)
      return eq == std::string_view::npos ? "" : percentDecode(part.substr(eq + 1));
  }
  return "";
}

bool HttpRequest::webSocketUpgrade() const {
  return method == "GET" && hasToken(header("connection"), "upgrade") && lower(header("upgrade")) == "websocket";
}

HeadParse parseHead(std::string_view data, HttpRequest& out, const HttpLimits& limits) {
  std::size_t end = data.find("\r\n\r\n");
  std::size_t endLength = 4;
  if (std::size_t bare = data.find("\n\n");
      bare != std::string_view::npos && (end == std::string_view::npos || bare < end)) {
    end = bare;
    endLength = 2;
  }
  if (end == std::string_view::npos) return data.size() > limits.head ? fail(431) : HeadParse{};
  if (end + endLength > limits.head) return fail(431);
  std::string_view head = data.substr(0, end);
  out = HttpRequest{};
  bool first = true;
  bool lengthSeen = false;
  while (!head.empty() || first) {
    std::size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head = nl == std::string_view::npos ? std::string_view() : head.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\0') != std::string_view::npos || line.find('\r') != std::string_view::npos) return fail(400);
    if (first) {
      first = false;
      std::size_t sp1 = line.find(' ');
      std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
      if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) return fail(400);
      std::string_view method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1),
                       version = line.substr(sp2 + 1);
      if (version != "HTTP/1.1" && version != "HTTP/1.0") return version.rfind("HTTP/", 0) == 0 ? fail(505) : fail(400);
      if (method != "GET" && method != "HEAD" && method != "POST") return fail(405);
      if (target.size() > limits.target) return fail(414);
      if (target.empty() || target[0] != '/') return fail(400);
      for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return fail(400);
      out.method = std::string(method);
      std::size_t q = target.find('?');
      out.path = std::string(target.substr(0, q));
      if (q != std::string_view::npos) out.query = std::string(target.substr(q + 1));
      continue;
    }
    if (line.empty()) return fail(400);
    if (line[0] == ' ' || line[0] == '\t') return fail(400);  // folded header lines are obsolete
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return fail(400);
    std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), tokenChar)) return fail(400);
    if (out.headers.size() >= limits.headers) return fail(431);
    out.headers.emplace_back(lower(name), std::string(trim(line.substr(colon + 1))));
    const auto& [n, v] = out.headers.back();
    if (n == "transfer-encoding") return fail(501);
    if (n == "content-length") {
      if (v.empty() || v.size() > 9 || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fail(400);
      std::size_t length = std::stoul(v);
      if (lengthSeen && length != out.contentLength) return fail(400);
      lengthSeen = true;
      out.contentLength = length;
      if (length > limits.body) return fail(413);
    }
  }
  return {HeadParse::Kind::Done, 0, end + endLength};
}

}  // namespace qm::web
