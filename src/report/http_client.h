#pragma once
// The HTTP client under the http module: one form POST at a time, its reply read in chunks. Backends: libcurl
// (src/curl/) for real runs, a recording client for scenario runs. Failures are not reported: a request that could
// not be sent yields no reply.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct HttpRequest {
  std::string host;  // a host name, optionally ":PORT" (80 when none)
  std::string path;  // from "/"
  std::string userAgent;
  std::vector<std::string> headers;  // whole header lines without CR LF, "Name: value"
  std::string body;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // Sends an HTTP/1.0 POST of `request`.
  virtual void send(const HttpRequest& request) = 0;
  // The next bytes of the reply body, at most `max`: empty at its end, nothing when the reply cannot be read.
  virtual std::optional<std::string> read(std::size_t max) = 0;
  // Ends the request; the next send starts afresh.
  virtual void close() = 0;
};

}  // namespace qm
