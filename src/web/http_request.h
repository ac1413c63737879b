#pragma once
// The web server's reading of a request, the one place a client's bytes are parsed: HTTP/1.1 (or 1.0), methods GET,
// HEAD and POST, a head of at most 8 KiB and 64 header lines, a body of at most 16 KiB given by Content-Length
// (chunked bodies are refused). Header names are kept in lower case. Anything else is refused with the status that
// says why: 400 malformed, 405 method, 413 body too large, 414 target too long, 431 head too large, 501 chunked,
// 505 version.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::web {

struct HttpLimits {
  std::size_t head = 8 * 1024;
  std::size_t headers = 64;
  std::size_t target = 2048;
  std::size_t body = 16 * 1024;
};

struct HttpRequest {
  std::string method, path, query;
  std::vector<std::pair<std::string, std::string>> headers;
  std::size_t contentLength = 0;
  std::string body;
  // The first header of this (lower-case) name; empty when absent.
  std::string header(std::string_view name) const;
  // A cookie's value from the Cookie header; empty when absent.
  std::string cookie(std::string_view name) const;
  // A query parameter, percent-decoded; empty when absent.
  std::string queryParameter(std::string_view name) const;
  bool webSocketUpgrade() const;
};

struct HeadParse {
  enum class Kind { More, Done, Failed };
  Kind kind = Kind::More;
  int status = 0;          // when Failed
  std::size_t length = 0;  // when Done: the bytes of the head, blank line included
};

// Parses the head at the start of `data` into `out`.
HeadParse parseHead(std::string_view data, HttpRequest& out, const HttpLimits& limits = {});

std::string percentDecode(std::string_view text);

}  // namespace qm::web
