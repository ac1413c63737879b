// Access control's parts: the dial rules' patterns and order, the hourly call count, the one-time code rules (with a
// stand-in code backend), the secret file's permissions, and a station whose rules file cannot be read.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "access/access_settings.h"
#include "access/access_state.h"
#include "access/call_limits.h"
#include "access/dial_rules.h"
#include "access/one_time_code_backend.h"
#include "access/secret_file.h"
#include "access/switch_on_codes.h"
#include "platform/instance_lock.h"
#include "platform/profile_file.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"
#include "sip/dial_plan.h"
#include "skype/caller_keys.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

fs::path makeFolder() {
  std::string pattern = (fs::temp_directory_path() / "quillmere-access-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

TEST(DialRules, PatternsMatchTheWholeTarget) {
  EXPECT_TRUE(DialRules::matches("555XXXX", "5551234"));
  EXPECT_FALSE(DialRules::matches("555XXXX", "55512345"));
  EXPECT_FALSE(DialRules::matches("555XXXX", "555123"));
  EXPECT_FALSE(DialRules::matches("555XXXX", "555123A"));  // X is a digit
  EXPECT_TRUE(DialRules::matches("1NXX", "1234"));
  EXPECT_FALSE(DialRules::matches("1NXX", "1134"));  // N is 2-9
  EXPECT_TRUE(DialRules::matches("00*", "00"));
  EXPECT_TRUE(DialRules::matches("00*", "0044123"));
  EXPECT_TRUE(DialRules::matches("*900*", "1900555"));
  EXPECT_FALSE(DialRules::matches("*900*", "190555"));
  EXPECT_TRUE(DialRules::matches("[0145]?[2-46-7]", "4#6"));
  EXPECT_FALSE(DialRules::matches("[0145]?[2-46-7]", "4#5"));
  EXPECT_TRUE(DialRules::matches("\\*#1", "*#1"));
  EXPECT_FALSE(DialRules::matches("\\*#1", "5#1"));
  EXPECT_TRUE(DialRules::matches("echo123", "echo123"));
  EXPECT_TRUE(DialRules::matches("+44*", "+441234"));
  // A star against a long target stays linear: no exponential backtracking.
  EXPECT_FALSE(DialRules::matches("*1*1*1*1*1*1*1*1*2", std::string(200, '1')));
}

TEST(DialRules, BadPatternsAreNamed) {
  std::string why;
  EXPECT_FALSE(DialRules::parseRule("allow 12[3", 4, why));
  EXPECT_EQ(why, "the [ at character 3 is never closed");
  EXPECT_FALSE(DialRules::parseRule("allow 1[]", 4, why));
  EXPECT_EQ(why, "the set at character 2 is empty");
  EXPECT_FALSE(DialRules::parseRule("deny 55 5", 4, why));
  EXPECT_EQ(why, "a rule has one pattern, without blanks");
  EXPECT_FALSE(DialRules::parseRule("allow 12\\", 4, why));
  EXPECT_EQ(why, "a \\ at the end escapes nothing");
  EXPECT_FALSE(DialRules::parseRule("allow Echo", 4, why));  // E is no DTMF letter
  auto rule = DialRules::parseRule("  ALWAYS   911  ", 9, why);
  ASSERT_TRUE(rule);
  EXPECT_EQ(rule->verb, RuleVerb::Always);
  EXPECT_EQ(rule->pattern, "911");
  EXPECT_EQ(rule->line, 9);
}

TEST(DialRules, FirstMatchWinsThenTheDefault) {
  AccessSettings s = parseAccessSettings(
      "[SETTINGS]\nDefault=allow\n[RULES]\nalways 911\ndeny 9*\nallow 9XX\n; a comment\n[OTHER]\ndeny 5*\n", "f.ini");
  EXPECT_TRUE(s.problems.empty());
  ASSERT_EQ(s.rules.rules().size(), 2u + 1u);
  DialDecision d = s.rules.decide("911");
  EXPECT_TRUE(d.allowed);
  EXPECT_TRUE(d.exempt);
  EXPECT_EQ(d.reason, "dial rule on line 4: always 911");
  d = s.rules.decide("912");  // the deny comes before the allow
  EXPECT_FALSE(d.allowed);
  EXPECT_EQ(d.reason, "dial rule on line 5: deny 9*");
  d = s.rules.decide("5551234");  // rules outside [RULES] are not rules
  EXPECT_TRUE(d.allowed);
  EXPECT_FALSE(d.exempt);
  EXPECT_EQ(d.reason, "no dial rule matches; the default is allow");
  // Without a Default, dial rules refuse what they do not allow, even when none of them parses; without rules, no
  // number is refused (the file holds the limits or the codes alone).
  EXPECT_FALSE(parseAccessSettings("[RULES]\nallow 5*\n", "f.ini").rules.decide("6").allowed);
  EXPECT_FALSE(parseAccessSettings("[RULES]\nallow 5$\n", "f.ini").rules.decide("5").allowed);
  EXPECT_TRUE(parseAccessSettings("[SETTINGS]\nCallsPerHour=3\n", "f.ini").rules.decide("6").allowed);
}

// The [INCOMING] rules: first match wins, auto only on a trusted line, a bad line named and left out (its caller
// refused), the rules of [RULES] untouched by it.
TEST(IncomingRules, FirstMatchWinsAutoOnlyTrustedBadLinesLeftOut) {
  AccessSettings s = parseAccessSettings(
      "[SETTINGS]\nAnswerCode=*9\n[RULES]\nallow 5*\n[INCOMING]\n"
      "deny 5550*\nallow 555XXXX pin 4711 code\nallow 666 auto\n"
      "trusted 777 auto\nallow joe@* ring\nallow 888 pin 12\n",
      "f.ini");
  EXPECT_TRUE(s.incomingOn);
  EXPECT_EQ(s.answerCode, "*9");
  ASSERT_EQ(s.incoming.size(), 4u);
  const IncomingRule* r = matchIncoming(s.incoming, "5550123");
  ASSERT_TRUE(r);
  EXPECT_FALSE(r->allow);
  r = matchIncoming(s.incoming, "5551234");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->mode, IncomingMode::Pin);
  EXPECT_EQ(r->pin, "4711");
  EXPECT_TRUE(r->oneTimeCode);
  EXPECT_EQ(matchIncoming(s.incoming, "666"), nullptr);  // "allow 666 auto" is no rule
  ASSERT_TRUE(matchIncoming(s.incoming, "777"));
  EXPECT_EQ(matchIncoming(s.incoming, "777")->mode, IncomingMode::Auto);
  ASSERT_TRUE(matchIncoming(s.incoming, "JOE@example.org"));  // callers' letters in any case
  EXPECT_EQ(matchIncoming(s.incoming, "888"), nullptr);       // a PIN of two digits is no rule
  ASSERT_EQ(s.problems.size(), 2u);
  EXPECT_NE(s.problems[0].find("line 8: \"allow 666 auto\" is no incoming rule (auto answers"), std::string::npos);
  EXPECT_TRUE(s.rules.decide("5").allowed);
  EXPECT_FALSE(parseAccessSettings("[RULES]\nallow 5*\n", "f.ini").incomingOn);
}

TEST(CallerKeys, APressHeardAsToneAndEventCountsOnceAndEventsOnceSeenWin) {
  using Way = CallerKeys::Way;
  const auto t = std::chrono::system_clock::time_point{} + std::chrono::hours(1);
  const auto ms = [](int n) { return std::chrono::milliseconds(n); };
  CallerKeys tonesOnly;
  EXPECT_TRUE(tonesOnly.take('4', Way::Tone, t));
  EXPECT_TRUE(tonesOnly.take('4', Way::Tone, t + ms(200))) << "a phone without events keys the same digit twice";

  CallerKeys both;
  EXPECT_TRUE(both.take('4', Way::Tone, t));
  EXPECT_FALSE(both.take('4', Way::Event, t + ms(150))) << "the same press, heard both ways";
  EXPECT_FALSE(both.take('7', Way::Tone, t + ms(400))) << "the phone sends events: its tones no longer count";
  EXPECT_TRUE(both.take('7', Way::Event, t + ms(420)));
  EXPECT_TRUE(both.take('7', Way::Event, t + ms(600)));

  CallerKeys late;
  EXPECT_TRUE(late.take('1', Way::Tone, t));
  EXPECT_TRUE(late.take('1', Way::Event, t + ms(1500))) << "long after the tone: another press";
  late.reset();
  EXPECT_TRUE(late.take('2', Way::Tone, t + ms(2000))) << "a new call: its phone unknown again";
}

TEST(AccessSettings, AMissingFileIsNoAccessControlAndAnUnreadableOneClosesDialling) {
  fs::path folder = makeFolder();
  AccessSettings missing = readAccessSettings(folder / "quillmere_dialrules.ini");
  EXPECT_FALSE(missing.present);
  EXPECT_TRUE(missing.problems.empty());
  fs::create_directory(folder / "quillmere_dialrules.ini");
  AccessSettings unreadable = readAccessSettings(folder / "quillmere_dialrules.ini");
  EXPECT_TRUE(unreadable.present);
  EXPECT_FALSE(unreadable.readable);
  ASSERT_EQ(unreadable.problems.size(), 1u);
  EXPECT_NE(unreadable.problems[0].find("quillmere_dialrules.ini cannot be read (not a file)"), std::string::npos);
  fs::remove(folder / "quillmere_dialrules.ini");
  std::ofstream(folder / "quillmere_dialrules.ini").close();
  fs::resize_file(folder / "quillmere_dialrules.ini", kProfileFileLimit + 1);  // megabytes: not read, dialling closed
  AccessSettings huge = readAccessSettings(folder / "quillmere_dialrules.ini");
  EXPECT_FALSE(huge.readable);
  EXPECT_NE(huge.unreadable.find("longer than 4 MiB"), std::string::npos) << huge.unreadable;
  // PINs in a file every user can read are named; the same file private is fine.
  fs::remove(folder / "quillmere_dialrules.ini");
  std::ofstream(folder / "quillmere_dialrules.ini") << "[INCOMING]\nallow 555* pin 4711\n";
  fs::permissions(folder / "quillmere_dialrules.ini",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  AccessSettings shared = readAccessSettings(folder / "quillmere_dialrules.ini");
  ASSERT_EQ(shared.problems.size(), 1u);
  EXPECT_NE(shared.problems[0].find("holds PINs"), std::string::npos);
  fs::permissions(folder / "quillmere_dialrules.ini", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(readAccessSettings(folder / "quillmere_dialrules.ini").problems.empty());
  fs::remove_all(folder);
}

TEST(CallLimits, CountsTheCallsOfAnySixtyMinutes) {
  CallLimits limits;
  CallLimits::TimePoint t0{};
  EXPECT_TRUE(limits.mayPlace(t0));  // no limit set
  limits.setCallsPerHour(2);
  limits.placed(t0);
  limits.placed(t0 + 10min);
  EXPECT_FALSE(limits.mayPlace(t0 + 59min));
  EXPECT_EQ(limits.nextFree(t0 + 59min), t0 + 60min);
  EXPECT_TRUE(limits.mayPlace(t0 + 60min));
  EXPECT_EQ(limits.callsInLastHour(t0 + 60min), 1);
  EXPECT_EQ(limits.callsInLastHour(t0 + 70min), 0);
}

// Codes are the step number's last six digits; base32 is the text itself.
class StandInCodes : public OneTimeCodeBackend {
 public:
  // Upper case: the file is read as base32, in capitals.
  std::string randomSecret(std::size_t bytes) override { return std::string(bytes, 'R'); }
  std::string toBase32(const std::string& secret) override { return "B32" + secret; }
  std::optional<std::string> fromBase32(const std::string& text) override {
    if (text.rfind("B32", 0) != 0) return std::nullopt;
    return text.substr(3);
  }
  std::optional<std::uint64_t> matchStep(const std::string&, std::int64_t unixTime, unsigned window,
                                         const std::string& code) override {
    std::int64_t now = unixTime / 30;
    for (std::int64_t s = now - window; s <= now + static_cast<std::int64_t>(window); ++s) {
      char text[16];
      std::snprintf(text, sizeof text, "%06lld", static_cast<long long>(s % 1000000));
      if (code == text) return static_cast<std::uint64_t>(s);
    }
    return std::nullopt;
  }
};

std::string codeAt(SwitchOnCodes::TimePoint t) {
  char text[16];
  std::snprintf(text, sizeof text, "%06lld", static_cast<long long>((t.time_since_epoch() / 30s) % 1000000));
  return text;
}

TEST(SwitchOnCodes, EachCodeOnceWrongOnesCountedThenLockedOut) {
  StandInCodes backend;
  SwitchOnCodes codes(backend, "s", 3, 10min, 1);
  using Outcome = SwitchOnCodes::Outcome;
  SwitchOnCodes::TimePoint t{std::chrono::seconds(3000)};
  EXPECT_EQ(codes.attempt(codeAt(t), t).outcome, Outcome::Accepted);
  EXPECT_EQ(codes.attempt(codeAt(t), t + 5s).outcome, Outcome::Replayed);
  EXPECT_EQ(codes.attempt(codeAt(t - 30s), t + 5s).outcome, Outcome::Replayed);  // an older step
  EXPECT_EQ(codes.attempt(codeAt(t + 30s), t + 5s).outcome, Outcome::Accepted);  // the next step, within the window
  EXPECT_EQ(codes.attempt(codeAt(t + 90s), t + 5s).outcome, Outcome::Wrong);     // two steps ahead: outside
  auto r = codes.attempt("12345a", t + 6s);
  EXPECT_EQ(r.outcome, Outcome::Wrong);
  EXPECT_EQ(r.wrongInARow, 2);
  r = codes.attempt("", t + 7s);
  EXPECT_EQ(r.outcome, Outcome::NowLockedOut);
  EXPECT_EQ(r.lockedUntil, t + 7s + 10min);
  // The right code is not even tried while locked.
  EXPECT_EQ(codes.attempt(codeAt(t + 5min), t + 5min).outcome, Outcome::LockedOut);
  EXPECT_EQ(codes.attempt(codeAt(t + 11min), t + 11min).outcome, Outcome::Accepted);
  EXPECT_EQ(codes.lastStep(), std::optional<std::uint64_t>((t + 11min).time_since_epoch() / 30s));
}

TEST(SecretFile, MadeOwnerOnlyShownOnceAndMadePrivateWhenOthersCouldRead) {
  fs::path folder = makeFolder();
  fs::path path = folder / "quillmere_totp.key";
  StandInCodes backend;
  SecretFile made = loadOrCreateSecret(path, backend);
  EXPECT_TRUE(made.created);
  EXPECT_EQ(made.secret, std::string(20, 'R'));
  EXPECT_TRUE(made.problems.empty());
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  SecretFile again = loadOrCreateSecret(path, backend);
  EXPECT_FALSE(again.created);
  EXPECT_EQ(again.secret, made.secret);

  chmod(path.c_str(), 0644);
  SecretFile opened = loadOrCreateSecret(path, backend);
  EXPECT_EQ(opened.secret, made.secret);
  ASSERT_EQ(opened.problems.size(), 1u);
  EXPECT_NE(opened.problems[0].find("could be read by other users"), std::string::npos);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  std::ofstream(path, std::ios::trunc) << "not base32\n";
  SecretFile bad = loadOrCreateSecret(path, backend);
  EXPECT_FALSE(bad.secret);
  ASSERT_EQ(bad.problems.size(), 1u);
  EXPECT_NE(bad.problems[0].find("does not hold a base32 secret"), std::string::npos);

  fs::remove(path);
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);  // never waited on for a writer
  SecretFile fifo = loadOrCreateSecret(path, backend);
  EXPECT_FALSE(fifo.secret);
  ASSERT_EQ(fifo.problems.size(), 1u);
  EXPECT_NE(fifo.problems[0].find("cannot be read"), std::string::npos);
  fs::remove_all(folder);
}

// A rules file that cannot be read keeps the station closed: nothing is announced for confirmation or dialled, the
// operator is told why, and the Call box asks before dialling.
TEST(AccessControlSession, AnUnreadableRulesFileClosesTheStationToDialling) {
  fs::path home = makeFolder(), machine = makeFolder();
  fs::create_directory(home / "quillmere_dialrules.ini");
  VirtualScheduler scheduler{Scheduler::TimePoint{}};
  {
    Session session(
        scheduler, Folders{home, machine}, nullptr,
        [&](Session& s) -> std::unique_ptr<ProgramExit> {
          return std::make_unique<ScenarioExit>(s.transcript, [&] { scheduler.halt(); });
        },
        std::make_unique<FixedInstanceLock>(false));
    session.skype.setAutoAnswer(std::nullopt);
    runUntilEnded([&] { session.start(); });
    runUntilEnded([&] { scheduler.runFor(3s); });
    auto& boxes = session.transcript.pending("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].arg.find("cannot be read (not a file); nothing may be dialled until it can."),
              std::string::npos);
    boxes.clear();
    session.transcript.pending("say").clear();

    runUntilEnded([&] { runAction(session, {"dtmf", "*#911"}); });
    runUntilEnded([&] { runAction(session, {"dtmf", "A"}); });
    std::vector<std::string> said;
    for (const OutputEvent& e : session.transcript.pending("say")) said.push_back(e.arg);
    EXPECT_EQ(said, (std::vector<std::string>{"Sorry that number is not allowed", "Sorry Request Timed Out"}));
    EXPECT_TRUE(session.transcript.pending("sent").empty());
    EXPECT_NE(namedControl(session, "FormHistory.CallHistory")
                  .value()
                  .find("Refused -- 911 -- the dial rules cannot be read"),
              std::string::npos);
  }
  fs::remove_all(home);
  fs::remove_all(machine);
}

// One run of the program on the given folders, from `start` on the virtual clock.
struct NodeRun {
  NodeRun(const Folders& folders, Scheduler::TimePoint start, OneTimeCodeBackend* codes = nullptr,
          const DialPlan* plan = nullptr)
      : scheduler(start),
        session(
            scheduler, folders, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this] { scheduler.halt(); });
            },
            std::make_unique<FixedInstanceLock>(false)) {
    session.skype.setAutoAnswer(std::nullopt);
    session.backends.oneTimeCodes = codes;
    session.backends.dialPlan = plan;
    runUntilEnded([&] { session.start(); });
    runUntilEnded([&] { scheduler.runFor(3s); });
    session.transcript.pending("say").clear();  // what the start announced
  }
  std::vector<std::string> dtmf(const std::string& digits) {
    runUntilEnded([&] { runAction(session, {"dtmf", digits}); });
    std::vector<std::string> said;
    for (const OutputEvent& e : session.transcript.pending("say")) said.push_back(e.arg);
    session.transcript.pending("say").clear();
    return said;
  }
  std::string history() { return namedControl(session, "FormHistory.CallHistory").value(); }
  VirtualScheduler scheduler;
  Session session;
};

struct Station {
  Station() : folders{makeFolder(), makeFolder(), makeFolder()} {}
  ~Station() {
    for (const fs::path& p : {folders.home, folders.machine, folders.state}) fs::remove_all(p);
  }
  void write(const std::string& name, const std::string& content) {
    std::ofstream(folders.home / name, std::ios::binary | std::ios::trunc) << content;
  }
  Folders folders;
};

const Scheduler::TimePoint kStart = Scheduler::TimePoint{} + std::chrono::hours(500000);

// The rules judge what the telephone dials: after the dial plan's rewrite and without punctuation, whichever way the
// number came in.
TEST(AccessControlSession, TheRulesJudgeTheNumberAsDialled) {
  DialPlan plan{"", "011", "provider.example"};
  EXPECT_EQ(dialledForm(plan, "00441234567"), "011441234567");
  EXPECT_EQ(dialledForm(plan, " +44 (1234) 567"), "011441234567");
  EXPECT_EQ(dialledForm(DialPlan{}, "1-900-555-1234"), "19005551234");
  EXPECT_EQ(dialledForm(plan, "echo123"), "echo123");
  EXPECT_EQ(resolveTarget(plan, "00441234567").uri, "sip:011441234567@provider.example");
  Station station;
  station.write("quillmere.ini", "[SETTINGS]\r\nCheck1=1\r\n");
  station.write("quillmere_dialrules.ini", "[SETTINGS]\r\nDefault=allow\r\n[RULES]\r\ndeny 011*\r\n");
  NodeRun run(station.folders, kStart, nullptr, &plan);
  EXPECT_EQ(run.dtmf("*#00441234567"), std::vector<std::string>{"Sorry that number is not allowed"});
  EXPECT_NE(run.history().find("Refused -- 00441234567 (dialled as 011441234567) -- dial rule on line 4: deny 011*"),
            std::string::npos);
}

// The calls of the hour outlive a restart; a state file that cannot be trusted counts as a full hour, not an empty one.
TEST(AccessControlSession, TheHourlyCountOutlivesARestartAndACorruptRecordCountsAsFull) {
  Station station;
  station.write("quillmere.ini", "[SETTINGS]\r\nCheck1=1\r\n");
  station.write("quillmere_dialrules.ini", "[SETTINGS]\r\nCallsPerHour=1\r\n");
  {
    NodeRun run(station.folders, kStart);
    run.dtmf("*#5551234");
    run.dtmf("A");
    EXPECT_EQ(run.session.transcript.pending("sent").size(), 1u);
  }
  {
    NodeRun run(station.folders, kStart + 10min);
    EXPECT_EQ(run.dtmf("*#5559876"), std::vector<std::string>{"Sorry call limit reached"});
  }
  std::ofstream(station.folders.state / "quillmere_access.ini", std::ios::trunc) << "[CALLS]\r\nCount=x\r\n";
  {
    NodeRun run(station.folders, kStart + 2h);
    auto& boxes = run.session.transcript.pending("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].arg.find("quillmere_access.ini cannot be used ([CALLS] Count is not a number"),
              std::string::npos)
        << boxes[0].arg;
    EXPECT_EQ(run.dtmf("*#5559876"), std::vector<std::string>{"Sorry call limit reached"});
  }
  NodeRun later(station.folders, kStart + 3h + 5s);
  EXPECT_EQ(later.dtmf("*#5559876"), std::vector<std::string>{"Call 5 5 5 9 8 7 6  . Enter A to Accept"});
}

// The switch-on code's lock-out outlives a restart: restarting the node does not buy more guesses.
TEST(AccessControlSession, TheLockOutOutlivesARestart) {
  Station station;
  station.write("quillmere_dialrules.ini", "[SETTINGS]\r\nOneTimeCodes=1\r\nLockoutMinutes=15\r\n");
  StandInCodes codes;
  {
    NodeRun run(station.folders, kStart, &codes);
    for (int i = 0; i < 3; ++i) run.dtmf("#1#555555");
    EXPECT_NE(run.history().find("after 3 wrong switch-on codes in a row"), std::string::npos) << run.history();
  }
  NodeRun again(station.folders, kStart + 1min, &codes);
  again.dtmf("#1#" + codeAt(kStart + 1min + 3s));
  EXPECT_EQ(namedControl(again.session, "frmMain.Check1").value(), "0");
  EXPECT_NE(again.history().find("Switch-on code ignored -- locked until"), std::string::npos) << again.history();
}

}  // namespace
}  // namespace qm
