#include "curl/curl_http_client.h"

#include <curl/curl.h>

#include <algorithm>

namespace qm {

namespace {
CURLM* asMulti(void* p) {
  return static_cast<CURLM*>(p);
}
CURL* asEasy(void* p) {
  return static_cast<CURL*>(p);
}
}  // namespace

CurlHttpClient::CurlHttpClient(CurlTimeouts timeouts) : timeouts_(timeouts) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

CurlHttpClient::~CurlHttpClient() {
  close();
  curl_global_cleanup();
}

std::size_t CurlHttpClient::receive(char* data, std::size_t size, std::size_t count, void* self) {
  auto* client = static_cast<CurlHttpClient*>(self);
  client->received_.append(data, size * count);
  return size * count;
}

void CurlHttpClient::send(const HttpRequest& request) {
  close();
  received_.clear();
  consumed_ = 0;
  finished_ = true;
  failed_ = true;
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  easy_ = easy;
  multi_ = multi;
  if (!easy || !multi) return;
  for (const std::string& h : request.headers) headers_ = curl_slist_append(headers_, h.c_str());
  std::string url = "http://" + request.host + request.path;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(easy, CURLOPT_POST, 1L);
  curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers_);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");  // a direct connection, whatever the environment says
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts_.connect.count()));
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts_.total.count()));
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttpClient::receive);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) return;
  finished_ = false;
  failed_ = false;
}

void CurlHttpClient::pump() {
  CURLM* multi = asMulti(multi_);
  int running = 0;
  if (curl_multi_perform(multi, &running) != CURLM_OK) {
    finished_ = failed_ = true;
    return;
  }
  int queued = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
    if (msg->msg == CURLMSG_DONE) {
      finished_ = true;
      failed_ = msg->data.result != CURLE_OK;
    }
  }
  if (running == 0) finished_ = true;
  if (!finished_ && consumed_ == received_.size()) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
}

std::optional<std::string> CurlHttpClient::read(std::size_t max) {
  while (consumed_ == received_.size() && !finished_) pump();
  if (consumed_ < received_.size()) {
    std::size_t n = std::min(max, received_.size() - consumed_);
    std::string chunk = received_.substr(consumed_, n);
    consumed_ += n;
    if (consumed_ == received_.size()) {
      received_.clear();
      consumed_ = 0;
    }
    return chunk;
  }
  if (failed_) return std::nullopt;
  return std::string();
}

void CurlHttpClient::close() {
  if (multi_ && easy_) curl_multi_remove_handle(asMulti(multi_), asEasy(easy_));
  if (easy_) curl_easy_cleanup(asEasy(easy_));
  if (multi_) curl_multi_cleanup(asMulti(multi_));
  if (headers_) curl_slist_free_all(headers_);
  easy_ = multi_ = nullptr;
  headers_ = nullptr;
  finished_ = failed_ = true;
}

}  // namespace qm
