#pragma once
// The HTTP client on libcurl: an HTTP/1.0 POST with the request's headers, user agent and body, the reply read
// through curl's multi interface so that it comes back in chunks on the calling thread. Connecting and the whole
// exchange are bounded, so a dead or silent server cannot hold the program up for long. libcurl is loaded only while
// a request is under way (see Library in the source).
#include <chrono>
#include <memory>
#include <string>

#include "report/http_client.h"

struct curl_slist;

namespace qm {

struct CurlTimeouts {
  std::chrono::milliseconds connect{3000};
  std::chrono::milliseconds total{5000};  // from the send to the end of the reply
};

class CurlHttpClient : public HttpClient {
 public:
  explicit CurlHttpClient(CurlTimeouts timeouts = CurlTimeouts());
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  void send(const HttpRequest& request) override;
  std::optional<std::string> read(std::size_t max) override;
  void close() override;

 private:
  static std::size_t receive(char* data, std::size_t size, std::size_t count, void* self);
  // Lets curl work until more of the reply has come or the transfer has ended.
  void pump();

  struct Library;
  CurlTimeouts timeouts_;
  std::unique_ptr<Library> curl_;  // while a request is under way
  void* multi_ = nullptr;          // CURLM
  void* easy_ = nullptr;           // CURL
  curl_slist* headers_ = nullptr;
  std::string received_;
  std::size_t consumed_ = 0;
  bool finished_ = true;
  bool failed_ = true;
};

}  // namespace qm
