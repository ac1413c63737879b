#pragma once
// The HTTP client of scenario and headless runs: each POST becomes an output event `http "BODY"` with the URL after
// it. In a scenario nothing leaves the machine and the reply is empty; a headless run passes the request on to a
// real client and returns its reply.
#include "platform/output_log.h"
#include "report/http_client.h"

namespace qm {

class RecordingHttpClient : public HttpClient {
 public:
  explicit RecordingHttpClient(OutputLog& log) : log_(log) {}
  // Sends what is recorded through `client` as well (null: record only).
  void passTo(HttpClient* client) { next_ = client; }

  void send(const HttpRequest& request) override {
    log_.record({"http", request.body, true, "http://" + request.host + request.path});
    if (next_) next_->send(request);
  }
  std::optional<std::string> read(std::size_t max) override { return next_ ? next_->read(max) : std::string(); }
  void close() override {
    if (next_) next_->close();
  }

 private:
  OutputLog& log_;
  HttpClient* next_ = nullptr;
};

}  // namespace qm
