#include "report/http.h"

#include <algorithm>
#include <exception>

#include "app/version.h"
#include "platform/scheduler.h"
#include "report/http_client.h"

namespace qm {

std::string formUrlEncode(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
                 c == '.' || c == '_';
    if (plain) {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

namespace http {
namespace {

// The module's one request.
struct State {
  HttpClient* client = nullptr;
  Scheduler* loop = nullptr;
  HttpRequest request;
};

State& state() {
  static State s;
  return s;
}

constexpr std::size_t kChunk = 1024;

}  // namespace

void HttpOpenPost(HttpClient& client, Scheduler& loop, const std::string& host, const std::string& path) {
  State& s = state();
  s.client = &client;
  s.loop = &loop;
  s.request = HttpRequest{};
  s.request.host = host;
  s.request.path = path;
  s.request.userAgent = kProductName;
  s.request.headers = {"Content-Type: application/x-www-form-urlencoded"};
}

void HttpAddFormField(const std::string& name, const std::string& value) {
  std::string& body = state().request.body;
  if (!body.empty()) body += '&';
  body += formUrlEncode(name) + '=' + formUrlEncode(value);
}

std::string HttpSendPost() {
  State& s = state();
  if (!s.client) return {};
  HttpClient& client = *s.client;
  Scheduler& loop = *s.loop;
  // The request lives until the end of the send, also when a message run meanwhile ends the program.
  struct Closer {
    State& s;
    ~Closer() {
      try {
        s.client->close();
      } catch (const std::exception&) {
        // a request that cannot be closed is dropped all the same
      }
      s.client = nullptr;
      s.loop = nullptr;
    }
  } closer{s};
  client.send(s.request);
  std::string reply;
  // Read until the end of the reply; a failed read ends it too.
  for (;;) {
    std::optional<std::string> chunk = client.read(std::min(kChunk, kReplyLimit - reply.size()));
    if (chunk) reply += *chunk;
    loop.processPending();
    if (!chunk || chunk->empty() || reply.size() >= kReplyLimit) break;
  }
  return reply;
}

const std::string& PostData() {
  return state().request.body;
}

}  // namespace http
}  // namespace qm
