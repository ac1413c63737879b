// The web page's access rules and texts: logins and their rate limit, sessions and CSRF tokens, the users file, the
// bounded request reader and the metrics text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "echolink/simulated_node.h"
#include "echolink/transmit_inhibit.h"
#include "web/history_statistics.h"
#include "web/http_request.h"
#include "web/status_text.h"
#include "web/user_store.h"
#include "web/web_check.h"
#include "web/web_sessions.h"

namespace qm::web {
namespace {

using namespace std::chrono_literals;
using Clock = WebSessions::Clock;

WebSessions makeSessions() {
  return WebSessions([](const std::string& user, const std::string& password) -> std::optional<Role> {
    if (user == "op" && password == "right") return Role::Operator;
    return std::nullopt;
  });
}

TEST(WebAccess, FiveWrongPasswordsInARowLockTheAddressOutForAWhile) {
  WebSessions sessions = makeSessions();
  Clock::time_point t{};
  EXPECT_EQ(sessions.login("10.0.0.1", "op", "wrong", t).status, 401);
  EXPECT_EQ(sessions.login("10.0.0.1", "op", "right", t).status, 200);  // a right one resets the count
  for (int i = 0; i < 5; ++i) EXPECT_EQ(sessions.login("10.0.0.1", "op", "wrong", t + 1s).status, 401);
  EXPECT_EQ(sessions.login("10.0.0.1", "op", "right", t + 2s).status, 429);  // not even checked
  EXPECT_EQ(sessions.login("10.0.0.2", "op", "right", t + 2s).status, 200);  // another address is not locked out
  EXPECT_EQ(sessions.login("10.0.0.1", "op", "right", t + 2s + 300s).status, 200);
}

TEST(WebAccess, SessionsExpireAndCommandsNeedTheirOwnCsrfToken) {
  WebSessions sessions = makeSessions();
  Clock::time_point t{};
  auto a = sessions.login("10.0.0.1", "op", "right", t).session;
  auto b = sessions.login("10.0.0.1", "op", "right", t).session;
  ASSERT_NE(a.id, b.id);
  EXPECT_EQ(a.id.size(), 64u);
  EXPECT_TRUE(WebSessions::csrfMatches(a, a.csrf));
  EXPECT_FALSE(WebSessions::csrfMatches(a, b.csrf));
  EXPECT_FALSE(WebSessions::csrfMatches(a, ""));
  EXPECT_TRUE(sessions.find(a.id, t + 29min).has_value());  // use starts the idle time again
  EXPECT_FALSE(sessions.find(b.id, t + 31min).has_value());
  EXPECT_TRUE(sessions.alive(a.id, t + 58min));
  EXPECT_FALSE(sessions.alive(a.id, t + 60min));
  EXPECT_FALSE(sessions.find("", t).has_value());
}

TEST(WebAccess, UsersFileIsPrivateAndHoldsArgon2idHashes) {
  auto dir = std::filesystem::temp_directory_path() / ("qm-web-users-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto file = dir / "users";
  UserStore store(file);
  std::string error;
  ASSERT_TRUE(store.add("alice", Role::Admin, "s3cret pass", error)) << error;
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("alice admin $argon2id$"), std::string::npos);
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
  EXPECT_FALSE(store.add("bad name", Role::Viewer, "x", error));

  ::chmod(file.c_str(), 0644);  // someone made it readable by all
  UserStore again(file);
  std::vector<std::string> problems;
  ASSERT_TRUE(again.load(problems));
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("made private"), std::string::npos);
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(again.verify("alice", "s3cret pass"), Role::Admin);
  EXPECT_EQ(again.verify("alice", "s3cret pas"), std::nullopt);
  EXPECT_EQ(again.verify("nobody", "s3cret pass"), std::nullopt);
  ASSERT_TRUE(again.remove("alice", error));
  EXPECT_FALSE(again.remove("alice", error));
  std::filesystem::remove_all(dir);
}

TEST(WebAccess, CheckNamesBadValuesHalfTlsAnUnreadableCertificateAndUsersNobodyCanUse) {
  auto dir = std::filesystem::temp_directory_path() / ("qm-web-check-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto has = [](const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
  };
  EXPECT_TRUE(checkWebFiles(dir).empty()) << "no settings file: the web page is off";
  std::ofstream(dir / kWebSettingsFile) << "[SETTINGS]\nEnabled=yes\nListen=here:80\nTlsKey=/k.pem\n";
  auto problems = checkWebFiles(dir);
  EXPECT_TRUE(has(problems, "the value \"yes\" of Enabled is neither 0 nor 1")) << problems.front();
  EXPECT_TRUE(has(problems, "the value \"here:80\" of Listen is not ADDRESS:PORT"));
  EXPECT_TRUE(has(problems, "TlsCertificate and TlsKey go together"));
  std::ofstream(dir / kWebSettingsFile) << "[SETTINGS]\nEnabled=1\nTlsCertificate=" << (dir / "none.pem").string()
                                        << "\nTlsKey=" << (dir / "none.pem").string() << "\n";
  std::ofstream(dir / kUsersFile) << "# nobody yet\n";
  ::chmod((dir / kUsersFile).c_str(), 0644);
  problems = checkWebFiles(dir);
  EXPECT_TRUE(has(problems, "TLS certificate or key cannot be read"));
  EXPECT_TRUE(has(problems, "can be read by others"));
  EXPECT_TRUE(has(problems, "holds no users"));
  struct stat st {};
  ASSERT_EQ(::stat((dir / kUsersFile).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u) << "the check changes nothing";
  std::filesystem::remove_all(dir);
}

TEST(WebAccess, RequestReaderRefusesWhatIsTooLargeOrMalformed) {
  HttpRequest r;
  auto parse = [&](const std::string& text) { return parseHead(text, r); };
  auto ok = parse(
      "POST /api/login?x=%41+b HTTP/1.1\r\nHost: a\r\nContent-Length: 12\r\nCookie: k=1; "
      "quillmere_session=abc\r\n\r\n{}");
  ASSERT_EQ(ok.kind, HeadParse::Kind::Done);
  EXPECT_EQ(r.path, "/api/login");
  EXPECT_EQ(r.queryParameter("x"), "A b");
  EXPECT_EQ(r.contentLength, 12u);
  EXPECT_EQ(r.cookie("quillmere_session"), "abc");
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nHost: a\r\n").kind, HeadParse::Kind::More);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nX: " + std::string(9000, 'a')).status, 431);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: 16385\r\n\r\n").status, 413);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n").status, 501);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n").status, 400);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\n folded\r\n\r\n").status, 400);
  EXPECT_EQ(parse("DELETE / HTTP/1.1\r\n\r\n").status, 405);
  EXPECT_EQ(parse("GET / HTTP/2.0\r\n\r\n").status, 505);
  EXPECT_EQ(parse("GET /" + std::string(3000, 'a') + " HTTP/1.1\r\n\r\n").status, 414);
  std::string many = "GET / HTTP/1.1\r\n";
  for (int i = 0; i < 65; ++i) many += "X" + std::to_string(i) + ": 1\r\n";
  EXPECT_EQ(parse(many + "\r\n").status, 431);
}

TEST(WebAccess, StatisticsCountTheLogByHourAndDay) {
  const std::string log =
      "2026-12-09 09:10:00 RF Received -- 09/12/2026 at 09:10:00\n"
      "2026-12-09 09:10:01 RF Ended -- 09/12/2026 at 09:10:01\n"  // a kerchunk
      "2026-12-09 09:20:00 RF Received -- x\r\n"
      "2026-12-09 09:20:30 RF Ended -- x\r\n"
      "2026-12-09 09:30:00 W1AW Connected - x -- 10.0.0.7\n"
      "2026-12-09 09:31:00 W1AW Connected - x -- 10.0.0.7\n"
      "2026-12-09 09:40:00 DTMF -- 123# -- x\n"
      "2026-12-09 09:50:00 Call to 5551234 -- answered -- 42 s\n"
      "2026-12-08 23:59:59 Call to echo123 -- busy\n"
      "2026-11-01 12:00:00 DTMF -- 9 -- too old\n"
      "2026-12-09 25:00:00 DTMF -- 9 -- a bad hour\n"
      "2026-12-09 09:00:10 TX -- 12.5 s -- speech\n"  // keyed in the hour before
      "2026-12-09 09:30:00 TX -- 2.0 s -- morse\n"
      "2026-12-09 09:31:00 TX -- nan s -- station\n"
      "garbage\n";
  const HistoryStatistics st = countHistory(log, "2026-12-09 10:05:00");
  ASSERT_EQ(st.hours.size(), 24u);
  ASSERT_EQ(st.days.size(), 14u);
  const StatisticsBucket& nine = st.hours[22];
  EXPECT_EQ(nine.start, "2026-12-09 09:00");
  EXPECT_EQ(nine.carriers, 2u);
  EXPECT_EQ(nine.kerchunks, 1u);
  EXPECT_EQ(nine.carrierSeconds, 31);
  EXPECT_EQ(nine.connects, 2u);
  EXPECT_EQ(nine.stations, std::set<std::string>{"W1AW"});
  EXPECT_EQ(nine.dtmfStrings, 1u);
  EXPECT_EQ(nine.calls, (std::map<std::string, std::uint64_t>{{"answered", 1}}));
  EXPECT_EQ(nine.transmissions, 1u);
  EXPECT_DOUBLE_EQ(nine.transmitSeconds, 2.0);
  EXPECT_DOUBLE_EQ(st.hours[21].transmitSeconds, 12.5);
  EXPECT_DOUBLE_EQ(st.days[13].transmitSeconds, 14.5);
  EXPECT_EQ(st.hours[12].start, "2026-12-08 23:00");
  EXPECT_EQ(st.hours[12].calls.count("busy"), 1u);
  EXPECT_EQ(st.days[13].start, "2026-12-09");
  EXPECT_EQ(st.days[13].dtmfStrings, 1u);
  EXPECT_EQ(st.days[12].calls.count("busy"), 1u);
  std::uint64_t dtmf = 0;
  for (const auto& d : st.days) dtmf += d.dtmfStrings;
  EXPECT_EQ(dtmf, 1u) << "old and malformed lines are skipped";
  EXPECT_NE(statisticsJson(st).find("\"calls\":{\"answered\":1}"), std::string::npos);
}

TEST(WebAccess, MetricsTextCountsAndEscapes) {
  NodeStatus s;
  s.callsign = "N0\"CALL\n";
  s.ptt = true;
  s.pttSinceMs = 10'000;
  s.transmitMsDone = 2'500;
  s.carrier = true;
  s.stations = {"A", "B"};
  s.callResults = {{"answered", 3}, {"busy", 1}};
  s.incomingResults = {{"denied", 2}};
  s.call = NodeStatus::Call{"5551234", "RINGING", 0, true};
  s.directory = "directory: busy";
  s.audioOverruns = {{"xrun", 2}, {"tx_underrun", 0}};
  std::string m = metricsText(s, 12'000);
  EXPECT_NE(m.find("\nquillmere_directory_listed 1\n"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_audio_overruns_total{kind=\"xrun\"} 2\n"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_incoming_calls_total{result=\"denied\"} 2\n"), std::string::npos);
  EXPECT_NE(statusJson(s, 12'000).find("\"state\":\"RINGING\",\"duration\":0,\"incoming\":true}"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_ptt 1\n"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_carrier 1\n"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_transmit_seconds_total 4.500\n"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_calls_total{result=\"answered\"} 3\n"), std::string::npos);
  EXPECT_NE(m.find("\nquillmere_stations 2\n"), std::string::npos);
  EXPECT_NE(m.find("quillmere_info{callsign=\"N0\\\"CALL\\n\"} 1\n"), std::string::npos);
  EXPECT_NE(statusJson(s, 12'000).find("\"callsign\":\"N0\\\"CALL\\n\""), std::string::npos);
}

struct PttLog : OutputLog {
  std::vector<std::string> ptt;
  void record(const OutputEvent& e) override {
    if (e.kind == "ptt") ptt.push_back(e.arg);
  }
};

TEST(WebControl, TransmitInhibitReleasesAndHoldsTheTransmitterUntilLifted) {
  PttLog log;
  SimulatedNode node(log);
  TransmitInhibit inhibit(node);
  auto app = inhibit.createApp();
  app->SetPTT(true);  // speech under way
  inhibit.set(true);
  EXPECT_FALSE(node.pttState());
  app->SetPTT(true);  // the next announcement
  node.setRx(true);   // a station talks: the node would key by itself
  EXPECT_FALSE(node.pttState());
  EXPECT_EQ(log.ptt, (std::vector<std::string>{"on", "off"}));
  inhibit.set(false);
  EXPECT_TRUE(node.pttState());  // the station's audio keys again once lifted; the held request does not
  node.setRx(false);
  EXPECT_FALSE(node.pttState());
  app->SetPTT(true);
  EXPECT_TRUE(node.pttState());
}

}  // namespace
}  // namespace qm::web
