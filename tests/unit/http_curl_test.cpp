// The libcurl client against a small HTTP server of the test's own on 127.0.0.1: the request as it goes on the wire,
// a reply of several chunks, and start-up with a server that refuses or never answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/frm_main.h"
#include "curl/curl_http_client.h"
#include "platform/virtual_scheduler.h"
#include "report/http.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"

namespace qm {
namespace {

// A one-connection-at-a-time HTTP server: it keeps each request it reads and answers with a fixed reply, sent in
// small pieces, or holds the connection open without a word.
class TestServer {
 public:
  enum class Mode { Reply, Silent, Endless };

  TestServer(Mode mode, std::string reply = "") : mode_(mode), reply_(std::move(reply)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(listen(listener_, 4), 0);
    socklen_t len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~TestServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  bool waitFor(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (!stop_)
      if (poll(&p, 1, 50) > 0) return true;
    return false;
  }

  void serve() {
    while (waitFor(listener_)) {
      int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request = readRequest(fd);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      if (mode_ == Mode::Reply) {
        for (std::size_t at = 0; at < reply_.size(); at += 700) {
          std::string piece = reply_.substr(at, 700);
          if (::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) break;
        }
      } else if (mode_ == Mode::Endless) {
        std::string head = "HTTP/1.0 200 OK\r\n\r\n", piece(65536, 'x');
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
        while (!stop_ && ::send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) > 0) sent_ += piece.size();
      } else {
        while (!stop_) {
          // Silent: keep the connection open and read whatever comes, answering nothing.
          if (waitFor(fd)) {
            char sink[256];
            if (recv(fd, sink, sizeof sink, 0) <= 0) break;
          }
        }
      }
      ::close(fd);
    }
  }

  std::string readRequest(int fd) {
    std::string in;
    std::size_t want = std::string::npos;
    while (in.size() < want && waitFor(fd)) {
      char buf[4096];
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      in.append(buf, static_cast<std::size_t>(n));
      auto end = in.find("\r\n\r\n");
      if (end != std::string::npos && want == std::string::npos) {
        std::size_t length = 0;
        auto cl = in.find("Content-Length: ");
        if (cl != std::string::npos && cl < end) length = std::stoul(in.substr(cl + 16));
        want = end + 4 + length;
      }
    }
    return in;
  }

  Mode mode_;
  std::string reply_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;

 public:
  std::atomic<std::size_t> sent_{0};  // body bytes an endless reply got out

 private:
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

// A port on 127.0.0.1 where nothing listens.
int refusedPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(s);
  return ntohs(addr.sin_port);
}

std::string replyBody(std::size_t size) {
  std::string body;
  for (int i = 0; body.size() < size; ++i) body += std::to_string(i) + ",";
  return body.substr(0, size);
}

TEST(CurlHttpClient, PostsTheFormAsAnHttp10RequestAndJoinsTheWholeReply) {
  std::string body = replyBody(5000);
  TestServer server(TestServer::Mode::Reply, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body);
  VirtualScheduler loop(Scheduler::TimePoint{});
  CurlHttpClient client;
  http::HttpOpenPost(client, loop, server.host(), "/quillmere/stats.php");
  http::HttpAddFormField("Callsign", "N0CALL-L");
  http::HttpAddFormField("Program", "Quillmere");
  http::HttpAddFormField("Ver", "1.0.6");
  EXPECT_EQ(http::HttpSendPost(), body);

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& r = requests[0];
  EXPECT_EQ(r.substr(0, r.find("\r\n")), "POST /quillmere/stats.php HTTP/1.0");
  EXPECT_NE(r.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nUser-Agent: Quillmere\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nContent-Length: 45\r\n"), std::string::npos) << r;
  EXPECT_EQ(r.substr(r.find("\r\n\r\n") + 4), "Callsign=N0CALL-L&Program=Quillmere&Ver=1.0.6");
}

TEST(CurlHttpClient, AnErrorPageIsStillTheReplyAndTheClientCanPostAgain) {
  TestServer server(TestServer::Mode::Reply, "HTTP/1.0 404 Not Found\r\n\r\nno such page");
  VirtualScheduler loop(Scheduler::TimePoint{});
  CurlHttpClient client;
  for (int i = 0; i < 2; ++i) {
    http::HttpOpenPost(client, loop, server.host(), "/missing");
    http::HttpAddFormField("Value", "a&b=c");
    EXPECT_EQ(http::HttpSendPost(), "no such page");
  }
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].substr(requests[1].find("\r\n\r\n") + 4), "Value=a%26b%3Dc");
}

TEST(CurlHttpClient, AnEndlessReplyStopsAtTheLimitAndTheConnectionIsDropped) {
  TestServer server(TestServer::Mode::Endless);
  CurlHttpClient client;
  VirtualScheduler loop(Scheduler::TimePoint{});
  auto before = std::chrono::steady_clock::now();
  http::HttpOpenPost(client, loop, server.host(), "/quillmere/stats.php");
  EXPECT_EQ(http::HttpSendPost(), std::string(http::kReplyLimit, 'x'));
  // Dropped at once, not held to the client's five-second bound while the server goes on sending.
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(4));
  std::size_t sentAtEnd = server.sent_;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LE(server.sent_ - sentAtEnd, 4u * 1024 * 1024);  // what the socket buffers take, then nothing
}

TEST(CurlHttpClient, ARefusedConnectionGivesAnEmptyReply) {
  VirtualScheduler loop(Scheduler::TimePoint{});
  CurlHttpClient client;
  http::HttpOpenPost(client, loop, "127.0.0.1:" + std::to_string(refusedPort()), "/quillmere/stats.php");
  http::HttpAddFormField("Callsign", "N0CALL-L");
  EXPECT_EQ(http::HttpSendPost(), "");
}

// Start-up of the whole program with the real client posting the report.
class StartUp : public ::testing::Test {
 protected:
  StartUp()
      : folder_(makeFolder()),
        scheduler_(Scheduler::TimePoint{}),
        session_(
            scheduler_, Folders{folder_, folder_}, nullptr,
            [](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [] {});
            },
            std::make_unique<FixedInstanceLock>(false)) {
    session_.httpRecorder.passTo(&client_);
  }
  ~StartUp() override { std::filesystem::remove_all(folder_); }

  static std::filesystem::path makeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-curl-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    return pattern;
  }

  // Starts the program; returns the seconds it took.
  double start(const std::string& url) {
    session_.backends.reportUrl = url;
    auto begin = std::chrono::steady_clock::now();
    session_.start();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  }

  void expectStarted() {
    EXPECT_TRUE(session_.program().main().Visible());
    EXPECT_EQ(session_.program().main().Ver.Text(), "1.0.6");
    EXPECT_TRUE(session_.transcript.pending("box").empty());
    ASSERT_EQ(session_.transcript.pending("http").size(), 1u);
  }

  std::filesystem::path folder_;
  VirtualScheduler scheduler_;
  CurlHttpClient client_;
  Session session_;
};

TEST_F(StartUp, PostsTheUsageReportToTheServerNamed) {
  TestServer server(TestServer::Mode::Reply, "HTTP/1.0 200 OK\r\n\r\nthanks");
  start("http://" + server.host() + "/quillmere/stats.php");
  expectStarted();
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "POST /quillmere/stats.php HTTP/1.0");
  EXPECT_EQ(requests[0].substr(requests[0].find("\r\n\r\n") + 4), "Callsign=N0CALL-L&Program=Quillmere&Ver=1.0.6");
}

TEST_F(StartUp, CompletesWhenTheServerRefusesTheConnection) {
  double seconds = start("http://127.0.0.1:" + std::to_string(refusedPort()) + "/quillmere/stats.php");
  expectStarted();
  EXPECT_LT(seconds, 30.0);
}

TEST_F(StartUp, CompletesWhenTheServerAcceptsAndNeverAnswers) {
  TestServer server(TestServer::Mode::Silent);
  double seconds = start("http://" + server.host() + "/quillmere/stats.php");
  expectStarted();
  EXPECT_EQ(server.requests().size(), 1u);
  // Bounded by the client's time-out (a few seconds), not by the server.
  EXPECT_LT(seconds, 30.0);
}

}  // namespace
}  // namespace qm
