#include "curl/curl_http_client.h"

// Calls go through the pointers below, not through curl.h's type-checking macros.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <memory>
#include <type_traits>

namespace qm {

namespace {
CURLM* asMulti(void* p) {
  return static_cast<CURLM*>(p);
}
CURL* asEasy(void* p) {
  return static_cast<CURL*>(p);
}
}  // namespace

// libcurl, loaded for a request and unloaded when it ends. Linked in, libcurl and its TLS, Kerberos and LDAP
// libraries would be a third of the idle program's resident memory, for one short report at start-up (and none at
// all with --no-report).
struct CurlHttpClient::Library {
  void* handle = nullptr;
  decltype(&curl_global_init) global_init = nullptr;
  decltype(&curl_global_cleanup) global_cleanup = nullptr;
  decltype(&curl_easy_init) easy_init = nullptr;
  decltype(&curl_easy_setopt) easy_setopt = nullptr;
  decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&curl_multi_init) multi_init = nullptr;
  decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
  decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
  decltype(&curl_multi_perform) multi_perform = nullptr;
  decltype(&curl_multi_info_read) multi_info_read = nullptr;
  decltype(&curl_multi_poll) multi_poll = nullptr;
  decltype(&curl_multi_cleanup) multi_cleanup = nullptr;
  decltype(&curl_slist_append) slist_append = nullptr;
  decltype(&curl_slist_free_all) slist_free_all = nullptr;

  // Null when libcurl cannot be loaded: the request then fails as one that could not be sent.
  static std::unique_ptr<Library> load() {
    auto lib = std::make_unique<Library>();
    lib->handle = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib->handle) return nullptr;
    bool all = true;
    auto find = [&](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(lib->handle, name));
      all = all && slot != nullptr;
    };
    find(lib->global_init, "curl_global_init");
    find(lib->global_cleanup, "curl_global_cleanup");
    find(lib->easy_init, "curl_easy_init");
    find(lib->easy_setopt, "curl_easy_setopt");
    find(lib->easy_cleanup, "curl_easy_cleanup");
    find(lib->multi_init, "curl_multi_init");
    find(lib->multi_add_handle, "curl_multi_add_handle");
    find(lib->multi_remove_handle, "curl_multi_remove_handle");
    find(lib->multi_perform, "curl_multi_perform");
    find(lib->multi_info_read, "curl_multi_info_read");
    find(lib->multi_poll, "curl_multi_poll");
    find(lib->multi_cleanup, "curl_multi_cleanup");
    find(lib->slist_append, "curl_slist_append");
    find(lib->slist_free_all, "curl_slist_free_all");
    if (!all || lib->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      lib->global_init = nullptr;  // nothing to clean up
      return nullptr;
    }
    return lib;
  }

  ~Library() {
    if (global_init) global_cleanup();
    if (handle) dlclose(handle);
  }
};

CurlHttpClient::CurlHttpClient(CurlTimeouts timeouts) : timeouts_(timeouts) {}

CurlHttpClient::~CurlHttpClient() {
  close();
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
  curl_ = Library::load();
  if (!curl_) return;
  const Library& c = *curl_;
  CURL* easy = c.easy_init();
  CURLM* multi = c.multi_init();
  easy_ = easy;
  multi_ = multi;
  if (!easy || !multi) return;
  for (const std::string& h : request.headers) headers_ = c.slist_append(headers_, h.c_str());
  std::string url = "http://" + request.host + request.path;
  c.easy_setopt(easy, CURLOPT_URL, url.c_str());
  c.easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  c.easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  c.easy_setopt(easy, CURLOPT_POST, 1L);
  c.easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  c.easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
  c.easy_setopt(easy, CURLOPT_HTTPHEADER, headers_);
  c.easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
  c.easy_setopt(easy, CURLOPT_PROXY, "");  // a direct connection, whatever the environment says
  c.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts_.connect.count()));
  c.easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts_.total.count()));
  c.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  c.easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttpClient::receive);
  c.easy_setopt(easy, CURLOPT_WRITEDATA, this);
  if (c.multi_add_handle(multi, easy) != CURLM_OK) return;
  finished_ = false;
  failed_ = false;
}

void CurlHttpClient::pump() {
  const Library& c = *curl_;
  CURLM* multi = asMulti(multi_);
  int running = 0;
  if (c.multi_perform(multi, &running) != CURLM_OK) {
    finished_ = failed_ = true;
    return;
  }
  int queued = 0;
  while (CURLMsg* msg = c.multi_info_read(multi, &queued)) {
    if (msg->msg == CURLMSG_DONE) {
      finished_ = true;
      failed_ = msg->data.result != CURLE_OK;
    }
  }
  if (running == 0) finished_ = true;
  if (!finished_ && consumed_ == received_.size()) c.multi_poll(multi, nullptr, 0, 100, nullptr);
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
  if (curl_) {
    const Library& c = *curl_;
    if (multi_ && easy_) c.multi_remove_handle(asMulti(multi_), asEasy(easy_));
    if (easy_) c.easy_cleanup(asEasy(easy_));
    if (multi_) c.multi_cleanup(asMulti(multi_));
    if (headers_) c.slist_free_all(headers_);
  }
  easy_ = multi_ = nullptr;
  headers_ = nullptr;
  finished_ = failed_ = true;
  curl_.reset();
}

}  // namespace qm
