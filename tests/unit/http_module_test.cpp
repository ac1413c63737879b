// The http module over a scripted client: how the body is built and encoded, how the reply is read and joined, and
// where the usage report goes.
#include <gtest/gtest.h>

#include <deque>

#include "platform/virtual_scheduler.h"
#include "report/http.h"
#include "report/http_client.h"
#include "report/report_target.h"

namespace qm {
namespace {

// Hands out the reply it was given, chunk by chunk, and keeps what it was asked to do.
class ScriptedClient : public HttpClient {
 public:
  std::deque<std::optional<std::string>> reads;  // one entry per read; when they run out, the end of the reply
  std::vector<HttpRequest> sent;
  std::vector<std::size_t> readSizes;
  int closed = 0;

  void send(const HttpRequest& request) override { sent.push_back(request); }
  std::optional<std::string> read(std::size_t max) override {
    readSizes.push_back(max);
    if (reads.empty()) return std::string();
    auto next = reads.front();
    reads.pop_front();
    return next;
  }
  void close() override { ++closed; }
};

Scheduler::TimePoint epoch() {
  return Scheduler::TimePoint{};
}

TEST(HttpModule, BuildsTheFormBodyWithAnAmpersandBetweenFieldsOnly) {
  VirtualScheduler loop(epoch());
  ScriptedClient client;
  http::HttpOpenPost(client, loop, "stats.example.org", "/quillmere/stats.php");
  EXPECT_EQ(http::PostData(), "");
  http::HttpAddFormField("Callsign", "N0CALL-L");
  EXPECT_EQ(http::PostData(), "Callsign=N0CALL-L");
  http::HttpAddFormField("Program", "Quillmere");
  http::HttpAddFormField("Ver", "1.0.6");
  EXPECT_EQ(http::PostData(), "Callsign=N0CALL-L&Program=Quillmere&Ver=1.0.6");
  http::HttpSendPost();

  ASSERT_EQ(client.sent.size(), 1u);
  const HttpRequest& r = client.sent[0];
  EXPECT_EQ(r.host, "stats.example.org");
  EXPECT_EQ(r.path, "/quillmere/stats.php");
  EXPECT_EQ(r.userAgent, "Quillmere");
  EXPECT_EQ(r.headers, std::vector<std::string>{"Content-Type: application/x-www-form-urlencoded"});
  EXPECT_EQ(r.body, "Callsign=N0CALL-L&Program=Quillmere&Ver=1.0.6");
  // The body stays until the next open, which empties it.
  EXPECT_EQ(http::PostData(), "Callsign=N0CALL-L&Program=Quillmere&Ver=1.0.6");
  http::HttpOpenPost(client, loop, "stats.example.org", "/");
  EXPECT_EQ(http::PostData(), "");
}

TEST(HttpModule, EncodesSeparatorsInsideNamesAndValues) {
  EXPECT_EQ(formUrlEncode("N0CALL-L"), "N0CALL-L");
  EXPECT_EQ(formUrlEncode("1.0.6_x*"), "1.0.6_x*");
  EXPECT_EQ(formUrlEncode("a&b=c+d e"), "a%26b%3Dc%2Bd+e");
  EXPECT_EQ(formUrlEncode("100%/?#~\r\n"), "100%25%2F%3F%23%7E%0D%0A");
  EXPECT_EQ(formUrlEncode("\xC3\xA9"), "%C3%A9");  // UTF-8 bytes one by one
  EXPECT_EQ(formUrlEncode(""), "");

  VirtualScheduler loop(epoch());
  ScriptedClient client;
  http::HttpOpenPost(client, loop, "h", "/p");
  http::HttpAddFormField("Call sign", "K1&Ver=9");
  http::HttpAddFormField("Program", "");
  EXPECT_EQ(http::PostData(), "Call+sign=K1%26Ver%3D9&Program=");
}

TEST(HttpModule, JoinsTheReplyInOrderReadingAKilobyteAtATime) {
  VirtualScheduler loop(epoch());
  ScriptedClient client;
  std::string a(1024, 'a'), b(1024, 'b'), c = "tail";
  client.reads = {a, b, c};
  http::HttpOpenPost(client, loop, "h", "/p");
  EXPECT_EQ(http::HttpSendPost(), a + b + c);
  EXPECT_EQ(client.readSizes, (std::vector<std::size_t>{1024, 1024, 1024, 1024}));
  EXPECT_EQ(client.closed, 1);
}

TEST(HttpModule, AnEndlessReplyIsReadOnlyUpToTheLimit) {
  VirtualScheduler loop(epoch());
  ScriptedClient client;
  for (int i = 0; i < 100000; ++i) client.reads.push_back(std::string(1024, 'x'));  // 100 MB, for all it knows
  http::HttpOpenPost(client, loop, "h", "/p");
  EXPECT_EQ(http::HttpSendPost(), std::string(http::kReplyLimit, 'x'));
  EXPECT_EQ(client.readSizes.size(), http::kReplyLimit / 1024);
  EXPECT_EQ(client.closed, 1);
}

TEST(HttpModule, AFailedReadEndsTheReplyWithWhatCameBefore) {
  VirtualScheduler loop(epoch());
  ScriptedClient client;
  client.reads = {std::string("first"), std::nullopt, std::string("never read")};
  http::HttpOpenPost(client, loop, "h", "/p");
  EXPECT_EQ(http::HttpSendPost(), "first");
  EXPECT_EQ(client.reads.size(), 1u);
  EXPECT_EQ(client.closed, 1);

  // A request that could not be sent at all: the first read fails and the reply is empty.
  client.reads = {std::nullopt};
  http::HttpOpenPost(client, loop, "h", "/p");
  EXPECT_EQ(http::HttpSendPost(), "");
  EXPECT_EQ(client.closed, 2);
}

TEST(HttpModule, WaitingMessagesRunBetweenChunks) {
  VirtualScheduler loop(epoch());
  ScriptedClient client;
  std::vector<std::string> order;
  client.reads = {std::string("one"), std::string("two")};
  loop.post([&] { order.push_back("message"); });
  http::HttpOpenPost(client, loop, "h", "/p");
  std::string reply = http::HttpSendPost();
  EXPECT_EQ(reply, "onetwo");
  ASSERT_EQ(order.size(), 1u);
  EXPECT_EQ(client.reads.size(), 0u);
}

TEST(HttpModule, SendingWithoutAnOpenRequestSendsNothing) {
  VirtualScheduler loop(epoch());
  ScriptedClient client;
  http::HttpOpenPost(client, loop, "h", "/p");
  http::HttpSendPost();
  // The request ended with the send: another send has nothing to send.
  EXPECT_EQ(http::HttpSendPost(), "");
  EXPECT_EQ(client.sent.size(), 1u);
  EXPECT_EQ(client.closed, 1);
}

TEST(ReportTarget, TakesHostPortAndPathFromAnHttpUrl) {
  auto t = parseReportUrl("http://stats.example.org/quillmere/stats.php");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->host, "stats.example.org");
  EXPECT_EQ(t->path, "/quillmere/stats.php");

  t = parseReportUrl("HTTP://127.0.0.1:8080/a/b?x=1");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->host, "127.0.0.1:8080");
  EXPECT_EQ(t->path, "/a/b?x=1");

  t = parseReportUrl("stats.example.org");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->host, "stats.example.org");
  EXPECT_EQ(t->path, "/");

  t = parseReportUrl("http://[::1]:81/p");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->host, "[::1]:81");
}

TEST(ReportTarget, RefusesWhatIsNotAnHttpUrl) {
  for (const char* bad :
       {"", "http://", "http:///path", "https://example.org/", "ftp://example.org/x", "http://exa mple.org/",
        "http://example.org:0/", "http://example.org:65536/", "http://example.org:/", "http://example.org:8x/",
        "http://user@example.org/", "http://example.org\r\nHost: evil/"})
    EXPECT_FALSE(parseReportUrl(bad)) << bad;
}

TEST(ReportTarget, TheDefaultServerResolvesNowhere) {
  ReportTarget t;
  EXPECT_TRUE(t.host.ends_with(".invalid"));
  EXPECT_EQ(t.path, "/quillmere/stats.php");
}

}  // namespace
}  // namespace qm
