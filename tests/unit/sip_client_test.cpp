// The SIP client as the program sees it: the Skype API window that baresip stands behind, driven through the
// program (DTMF, buttons, the data panel) while a test plays baresip's side of the control channel, in virtual time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/frm_main.h"
#include "platform/clock_format.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/script.h"
#include "scenario/session_actions.h"
#include "session/session.h"
#include "sip/sip_client.h"
#include "sip/sip_settings_window.h"
#include "sip_fake_agent_io.h"
#include "skype/mod_main.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class NoOtherCopy : public InstanceLock {
 public:
  bool anotherCopyRunning() override { return false; }
};

Scheduler::TimePoint startTime() {
  Scheduler::TimePoint t;
  parseLocalDateTime("2026-01-01 00:00:00", t);
  return t;
}

std::filesystem::path freshHome() {
  static int n = 0;
  return std::filesystem::temp_directory_path() /
         ("quillmere-sip-client-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
}

std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const char* kProvider =
    "[SETTINGS]\r\nAccount=sip:n0call@provider.example\r\nPassword=secret\r\nDialPattern=sip:{number}@provider."
    "example\r\nAudioDriver=aubridge\r\n";

class SipClient : public ::testing::Test {
 protected:
  SipClient()
      : home_(freshHome()),
        scheduler_(startTime()),
        session_(
            scheduler_, Folders{home_, home_}, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this, &s] {
                scheduler_.halt();
                s.programEnded();
              });
            },
            std::make_unique<NoOtherCopy>()) {
    std::filesystem::create_directories(home_);
    writeFile("quillmere.ini", "[SETTINGS]\r\nCheck2=0\r\n");
    auto io = std::make_unique<FakeAgentIo>();
    io_ = io.get();
    client_ = &installSipClient(session_, std::move(io), [this](const std::string& t) { remarks_.push_back(t); });
  }
  ~SipClient() override { std::filesystem::remove_all(home_); }

  void writeFile(const std::string& name, const std::string& content) {
    std::ofstream(home_ / name, std::ios::binary) << content;
  }
  void start(const std::string& settings = kProvider) {
    writeFile("quillmere_sip.ini", settings);
    session_.start();
    session_.transcript.pending("http").clear();
    session_.transcript.pending("say").clear();
    session_.transcript.pending("ptt").clear();
  }
  // Started, baresip up, the account registered, the link attached.
  void attached(const std::string& settings = kProvider) {
    start(settings);
    comeUpRegistered();
    wait(1s);
    ASSERT_TRUE(panel().ends_with("<- SKYPE Control API Attach Success")) << panel();
  }
  // baresip up, and the account it was given registered.
  void comeUpRegistered() {
    io_->comeUp();
    io_->takeCommands();
    io_->deliver(registerEvent("REGISTER_OK", "200 OK"));
    take("sip");
  }
  static std::string registerEvent(const std::string& type, const std::string& param) {
    return R"({"event":true,"class":"register","type":")" + type +
           R"(","accountaor":"sip:n0call@provider.example","param":")" + param + "\"}";
  }
  void wait(std::chrono::milliseconds d) {
    runUntilEnded([&] { scheduler_.runFor(d); });
  }
  void act(const std::vector<std::string>& words) { ASSERT_TRUE(runAction(session_, words)); }
  void send(const std::string& command) {
    act({"set", "frmMain.txtSend", command});
    act({"click", "frmMain.cmdSend"});
  }
  std::vector<std::string> take(const std::string& kind) {
    std::vector<std::string> out;
    for (auto& e : session_.transcript.pending(kind)) out.push_back(e.arg);
    session_.transcript.pending(kind).clear();
    return out;
  }
  frmMain& main() { return session_.program().main(); }
  std::string panel() { return main().txtData.Text(); }
  std::string variable(const std::string& name) { return main().skypeLink().variable(name)->get(); }
  bool remarked(const std::string& part) {
    for (auto& r : remarks_)
      if (r.find(part) != std::string::npos) return true;
    return false;
  }
  // A call to 123 placed with the command box as call `id` (baresip's id "c" + id), answered, and a second long, so
  // that the end command is armed in the command box.
  void callInProgress(int id = 1) {
    std::string n = std::to_string(id);
    send("CALL 123");
    ASSERT_EQ(io_->takeCommands(), std::vector<std::string>{"dial sip:123@provider.example [dial " + n + "]"});
    io_->deliver(response(true, "", "dial " + n));
    io_->deliver(callEvent("CALL_RINGING", "c" + n, "sip:123@provider.example"));
    io_->deliver(callEvent("CALL_ESTABLISHED", "c" + n, "sip:123@provider.example"));
    wait(1s);
    ASSERT_EQ(take("notify"),
              (std::vector<std::string>{"CALL " + n + " STATUS ROUTING", "CALL " + n + " STATUS RINGING",
                                        "CALL " + n + " STATUS INPROGRESS", "CALL " + n + " DURATION 1"}));
    ASSERT_EQ(main().txtSend.Text(), "SET CALL " + n + " STATUS FINISHED");
    take("sent");
  }

  std::filesystem::path home_;
  VirtualScheduler scheduler_;
  Session session_;
  FakeAgentIo* io_ = nullptr;
  qm::SipClient* client_ = nullptr;
  std::vector<std::string> remarks_;
};

TEST_F(SipClient, BaresipStartsWithFilesOfItsOwnAndTheLinkAttachesOnceItIsReady) {
  start();
  ASSERT_EQ(io_->starts, std::vector<std::string>{"baresip -f " + (home_ / "baresip").string()});
  std::string config = readFile(home_ / "baresip" / "config");
  EXPECT_NE(config.find("ctrl_tcp_listen 127.0.0.1:40000\n"), std::string::npos) << config;
  EXPECT_NE(config.find("audio_player    aubridge,default\n"), std::string::npos) << config;
  // The account registers: it is added once the control channel is open, so its registration is followed.
  EXPECT_EQ(readFile(home_ / "baresip" / "accounts").find("n0call"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::stat((home_ / "baresip" / "accounts").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the password is for its owner only
  // The simulated Skype client is not there: only this client answers.
  EXPECT_FALSE(session_.skype.running());

  io_->processStarted();
  EXPECT_EQ(io_->lastPort, 40000);
  io_->accept();
  EXPECT_EQ(client_->agent().state(), BaresipAgent::State::Ready);
  EXPECT_EQ(io_->takeCommands(),
            std::vector<std::string>{
                "uanew <sip:n0call@provider.example>;auth_pass=secret;answermode=manual;regint=600 [register uanew]"});
  wait(1s);
  EXPECT_TRUE(panel().ends_with("<- SKYPE Control API Attach Success")) << panel();
  EXPECT_EQ(variable("SkypeApiHwnd"), std::to_string(client_->skype().apiWindow()));
  EXPECT_TRUE(take("box").empty());
}

TEST_F(SipClient, TheAttachIsPendingWhileBaresipStartsAndItsPortIsTriedUntilItOpens) {
  start();
  io_->processStarted();
  io_->refuse();  // not listening yet
  wait(1s);
  EXPECT_TRUE(panel().ends_with("<- SKYPE Control API Attach Pending Authorization")) << panel();
  EXPECT_EQ(variable("SkypeApiHwnd"), "0");
  EXPECT_GE(io_->connects, 2);
  io_->accept();
  EXPECT_TRUE(panel().ends_with("<- SKYPE Control API Attach Success")) << panel();
  EXPECT_EQ(variable("SkypeApiHwnd"), std::to_string(client_->skype().apiWindow()));
}

TEST_F(SipClient, WithoutBaresipTheLinkIsNotAvailableTheOperatorIsToldOnceAndStartsAreRetriedWithBackOff) {
  start();
  io_->processEnded("could not run baresip: No such file or directory");
  wait(1s);
  EXPECT_TRUE(panel().ends_with("<- SKYPE Control API Attach Not Available")) << panel();
  EXPECT_EQ(take("box"), std::vector<std::string>{
                             "Quillmere could not start the SIP user agent (baresip): could not run baresip: No such "
                             "file or directory.\r\nNo call can be placed until it runs. Check that baresip is "
                             "installed and the SIP settings (quillmere_sip.ini); Quillmere keeps trying by itself."});
  // The first retry one second after the failure, then after 2 and 4 seconds; no more boxes.
  EXPECT_EQ(io_->starts.size(), 2u);
  io_->processEnded("could not run baresip: No such file or directory");
  wait(1999ms);
  EXPECT_EQ(io_->starts.size(), 2u);
  wait(1ms);
  EXPECT_EQ(io_->starts.size(), 3u);
  io_->processEnded("could not run baresip: No such file or directory");
  EXPECT_EQ(client_->agent().backOff(), 4s);
  wait(4s);
  EXPECT_EQ(io_->starts.size(), 4u);
  EXPECT_TRUE(take("box").empty());
  // Once it runs, the link comes back by itself.
  io_->comeUp();
  EXPECT_TRUE(panel().ends_with("<- SKYPE Control API Attach Success")) << panel();
  EXPECT_EQ(variable("SkypeApiHwnd"), std::to_string(client_->skype().apiWindow()));
  EXPECT_TRUE(remarked("baresip is running again"));
}

TEST_F(SipClient, BaresipThatNeverOpensItsControlPortIsStoppedAndItsWarningReported) {
  start();
  io_->processStarted();
  io_->print("\x1b[31mmodule ctrl_tcp.so: No such file or directory\r\x1b[;m");
  io_->print("baresip is ready.");
  for (int i = 0; i < 60; ++i) {
    io_->refuse();
    wait(200ms);
  }
  EXPECT_EQ(io_->stops, 1);  // asked to end after ten seconds
  EXPECT_EQ(client_->agent().state(), BaresipAgent::State::Failing);
  io_->processEnded("baresip ended with exit status 0");
  wait(1ms);
  EXPECT_EQ(take("box"),
            std::vector<std::string>{"Quillmere could not start the SIP user agent (baresip): baresip did not open its "
                                     "control port 127.0.0.1:40000 within 10 seconds (baresip said: module "
                                     "ctrl_tcp.so: No such file or directory).\r\nNo call can be placed until it "
                                     "runs. Check that baresip is installed and the SIP settings (quillmere_sip.ini); "
                                     "Quillmere keeps trying by itself."});
}

TEST_F(SipClient, ACallFromTheRadioIsDialledFollowedAndHungUp) {
  attached();
  act({"dtmf", "*#123"});
  act({"dtmf", "A"});
  EXPECT_EQ(take("sent"), std::vector<std::string>{"CALL 123"});
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"dial sip:123@provider.example [dial 1]"});
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS ROUTING"});
  // baresip's SDP event has no call id; the first event with one binds it to the call.
  io_->deliver(R"({"event":true,"type":"CALL_LOCAL_SDP","class":"other","direction":"outgoing","param":"offer"})");
  io_->deliver(response(true, "", "dial 1"));
  io_->deliver(callEvent("CALL_RINGING", "c1", "sip:123@provider.example"));
  io_->deliver(callEvent("CALL_RINGING", "c1", "sip:123@provider.example"));  // said once only
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS RINGING"});
  wait(10s);
  EXPECT_TRUE(take("notify").empty());
  io_->deliver(callEvent("CALL_ESTABLISHED", "c1", "sip:123@provider.example"));
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS INPROGRESS"});
  wait(3s);
  EXPECT_EQ(take("notify"), (std::vector<std::string>{"CALL 1 DURATION 1", "CALL 1 DURATION 2", "CALL 1 DURATION 3"}));
  EXPECT_EQ(main().txtSend.Text(), "SET CALL 1 STATUS FINISHED");
  EXPECT_TRUE(main().Timer2.Enabled());
  EXPECT_TRUE(
      panel().ends_with("<- CALL 1 STATUS ROUTING\r\n-> CALL 123\r\n<- CALL 1 STATUS RINGING\r\n"
                        "<- CALL 1 STATUS INPROGRESS\r\n<- CALL 1 DURATION 1\r\n<- CALL 1 DURATION 2\r\n"
                        "<- CALL 1 DURATION 3"))
      << panel();

  act({"dtmf", "DD"});
  EXPECT_EQ(take("sent"), std::vector<std::string>{"SET CALL 1 STATUS FINISHED"});
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"hangup [hangup 1]"});
  EXPECT_TRUE(take("notify").empty());  // over when baresip says so
  io_->deliver(response(true, "", "hangup 1"));
  io_->deliver(callEvent("CALL_CLOSED", "c1", "Connection reset by user"));
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS FINISHED"});
  EXPECT_EQ(main().Counter.Caption(), "240");
  EXPECT_TRUE(panel().ends_with("<- CALL 1 STATUS FINISHED")) << panel();
  wait(10s);
  EXPECT_TRUE(take("notify").empty());
  EXPECT_TRUE(io_->takeCommands().empty());
  EXPECT_TRUE(remarked("call 1: dialling sip:123@provider.example"));

  // The finished call is still known by its id; ending it again is refused as Skype refuses it.
  send("GET CALL 1 STATUS");
  send("GET CALL 1 DURATION");
  send("SET CALL 1 STATUS FINISHED");
  EXPECT_EQ(take("notify"),
            (std::vector<std::string>{"CALL 1 STATUS FINISHED", "CALL 1 DURATION 3", "ERROR 11 Invalid call id"}));
}

TEST_F(SipClient, DurationsCountFromTheAnswerWhateverTheTimerMissed) {
  attached();
  callInProgress();
  wait(500ms);
  scheduler_.hold(3s);  // a long utterance holds the thread: the tick due at 2 s comes at 4.5 s
  wait(600ms);
  EXPECT_EQ(take("notify"), (std::vector<std::string>{"CALL 1 DURATION 4", "CALL 1 DURATION 5"}));
}

TEST_F(SipClient, CallsThatNeverRunEndAsBusyRefusedMissedOrFailedAndThenFinished) {
  attached();
  struct Case {
    std::string reason;
    std::string status;
  };
  int n = 0;
  for (const Case& c : {Case{"486 Busy Here", "BUSY"}, Case{"600 Busy Everywhere", "BUSY"},
                        Case{"603 Decline", "REFUSED"}, Case{"480 Temporarily Unavailable", "MISSED"},
                        Case{"408 Request Timeout", "MISSED"}, Case{"404 Not Found", "FAILED"},
                        Case{"Connection refused", "FAILED"}, Case{"Connection timed out", "FAILED"}}) {
    ++n;
    main().Counter.setCaption("17");
    send("CALL 5551234");
    std::string id = std::to_string(n);
    io_->takeCommands();
    io_->deliver(callEvent("CALL_CLOSED", "x" + id, c.reason));
    EXPECT_EQ(take("notify"),
              (std::vector<std::string>{"CALL " + id + " STATUS ROUTING", "CALL " + id + " STATUS " + c.status,
                                        "CALL " + id + " STATUS FINISHED"}))
        << c.reason;
    EXPECT_EQ(main().Counter.Caption(), "240") << c.reason;  // the finished call restarts the time-out
    EXPECT_EQ(main().txtSend.Text(), "CALL 5551234");
  }
  // A far end that hangs up an answered call just finishes it.
  send("CALL 5551234");
  io_->deliver(callEvent("CALL_ESTABLISHED", "y", ""));
  io_->deliver(callEvent("CALL_CLOSED", "y", "Connection reset by peer"));
  EXPECT_EQ(take("notify"),
            (std::vector<std::string>{"CALL 9 STATUS ROUTING", "CALL 9 STATUS INPROGRESS", "CALL 9 STATUS FINISHED"}));
}

TEST_F(SipClient, OneCallAtATime) {
  attached();
  send("CALL 123");
  io_->deliver(callEvent("CALL_RINGING", "c1", ""));
  take("notify");
  take("sent");
  io_->takeCommands();
  // A second CALL while one rings is refused; the ringing call goes on.
  send("CALL 123");
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 2 STATUS FAILED"});
  EXPECT_TRUE(io_->takeCommands().empty());
  EXPECT_EQ(client_->skype().activeCallId(), 1);
  io_->deliver(callEvent("CALL_ESTABLISHED", "c1", ""));
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS INPROGRESS"});
  send("GET CALL 2 STATUS");
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 2 STATUS FAILED"});
}

TEST_F(SipClient, TargetsTheDialPlanCannotTakeFailAtOnce) {
  attached("[SETTINGS]\r\nAudioDriver=aubridge\r\n");  // no account, no pattern: only SIP addresses
  send("CALL 123");
  EXPECT_EQ(take("notify"), (std::vector<std::string>{"CALL 1 STATUS FAILED", "CALL 1 STATUS FINISHED"}));
  EXPECT_TRUE(io_->takeCommands().empty());
  EXPECT_TRUE(remarked("\"123\" cannot be dialled: phone numbers need a dial pattern"));
  send("CALL   sip:echo@127.0.0.1:5070  ");
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"dial sip:echo@127.0.0.1:5070 [dial 2]"});
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 2 STATUS ROUTING"});
  send("CALL");
  EXPECT_EQ(take("notify"), std::vector<std::string>{"ERROR 34 Invalid user handle"});
}

TEST_F(SipClient, OtherCommandsAnswerAsSkypeDoes) {
  attached();
  for (const char* command : {"PING", "PROTOCOL 7", "HELLO", "SET CALL 9 STATUS FINISHED", "GET CALL x STATUS",
                              "SET CALL 1 STATUS RINGING", "GET MUTE", "", "set mute on", "get mute"})
    send(command);
  EXPECT_EQ(take("notify"), (std::vector<std::string>{"PONG", "PROTOCOL 7", "ERROR 2 Unknown command",
                                                      "ERROR 11 Invalid call id", "ERROR 11 Invalid call id",
                                                      "ERROR 2 Unknown command", "MUTE OFF", "MUTE ON", "MUTE ON"}));
}

TEST_F(SipClient, MuteFollowsTheOperatorIntoAndThroughACall) {
  attached();
  act({"click", "frmMain.Command3"});  // Mute On, before any call
  EXPECT_EQ(take("notify"), std::vector<std::string>{"MUTE ON"});
  EXPECT_TRUE(io_->takeCommands().empty());  // baresip mutes calls only
  send("CALL 123");
  io_->takeCommands();
  io_->deliver(callEvent("CALL_ESTABLISHED", "c1", ""));
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"mute [mute]"});
  // Off and on again before baresip answered: one toggle at a time, until the call is as asked.
  act({"click", "frmMain.Command4"});
  act({"click", "frmMain.Command3"});
  act({"click", "frmMain.Command4"});
  EXPECT_TRUE(io_->takeCommands().empty());
  io_->deliver(response(true, "\ncall muted\n", "mute"));
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"mute [mute]"});
  io_->deliver(response(true, "\ncall un-muted\n", "mute"));
  EXPECT_TRUE(io_->takeCommands().empty());
  take("notify");
  send("GET MUTE");
  EXPECT_EQ(take("notify"), std::vector<std::string>{"MUTE OFF"});
  // A refused toggle is logged and not retried in a loop.
  act({"click", "frmMain.Command3"});
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"mute [mute]"});
  io_->deliver(response(false, "command not found (mute)\n", "mute"));
  EXPECT_TRUE(io_->takeCommands().empty());
  EXPECT_TRUE(remarked("baresip did not mute"));
}

TEST_F(SipClient, AHangUpThatBaresipNeverConfirmsEndsTheCallAfterFiveSeconds) {
  attached();
  callInProgress();
  act({"click", "frmMain.Command17"});
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"hangup [hangup 1]"});
  act({"click", "frmMain.Command17"});
  EXPECT_TRUE(io_->takeCommands().empty());  // already on its way
  wait(4999ms);
  take("notify");
  wait(1ms);  // the call is up until then: its sixth second is reported first
  EXPECT_EQ(take("notify"), (std::vector<std::string>{"CALL 1 DURATION 6", "CALL 1 STATUS FINISHED"}));
  EXPECT_TRUE(remarked("did not confirm the hang-up of call 1"));
  // The late word from baresip changes nothing.
  io_->deliver(callEvent("CALL_CLOSED", "c1", "Connection reset by user"));
  EXPECT_TRUE(take("notify").empty());
}

TEST_F(SipClient, CommandsBaresipRefusesEndTheCall) {
  attached();
  send("CALL 123");
  io_->deliver(response(false, "Invalid argument", "dial 1"));
  EXPECT_EQ(take("notify"),
            (std::vector<std::string>{"CALL 1 STATUS ROUTING", "CALL 1 STATUS FAILED", "CALL 1 STATUS FINISHED"}));
  io_->takeCommands();
  callInProgress(2);
  act({"dtmf", "DD"});
  io_->deliver(response(false, "no active call", "hangup 2"));
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 2 STATUS FINISHED"});
}

TEST_F(SipClient, BaresipDyingMidCallEndsTheCallTellsTheOperatorAndTheLinkRecovers) {
  attached();
  callInProgress();
  wait(2s);
  take("notify");
  act({"sip", "kill"});
  EXPECT_EQ(io_->kills, 1);
  io_->processEnded("baresip ended abnormally (killed or crashed)");
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS FINISHED"});
  EXPECT_TRUE(panel().ends_with("<- CALL 1 STATUS FINISHED\r\n<- SKYPE Control API Attach Not Available")) << panel();
  EXPECT_EQ(variable("SkypeApiHwnd"), std::to_string(client_->skype().apiWindow()));  // still attached
  EXPECT_EQ(main().Counter.Caption(), "240");
  wait(1ms);
  EXPECT_EQ(take("box"), std::vector<std::string>{"The SIP user agent (baresip) stopped: baresip ended abnormally "
                                                  "(killed or crashed).\r\nA call that was up has ended. Quillmere "
                                                  "starts baresip again by itself."});
  wait(999ms);
  EXPECT_EQ(io_->starts.size(), 2u);
  comeUpRegistered();
  EXPECT_TRUE(panel().ends_with("<- SKYPE Control API Attach Success")) << panel();
  // The next call goes through.
  callInProgress(2);
}

TEST_F(SipClient, TheBackOffStartsAgainAfterASteadyRun) {
  attached();
  io_->processEnded("baresip ended with exit status 1");
  wait(1s);
  io_->processEnded("baresip ended with exit status 1");
  EXPECT_EQ(client_->agent().backOff(), 2s);
  wait(2s);
  io_->comeUp();
  wait(29s);
  io_->processEnded("baresip ended with exit status 1");
  EXPECT_EQ(client_->agent().backOff(), 4s);  // a short run does not count as recovery
  wait(4s);
  io_->comeUp();
  wait(30s);
  io_->processEnded("baresip ended with exit status 1");
  EXPECT_EQ(client_->agent().backOff(), 1s);
  wait(1ms);
  EXPECT_EQ(take("box").size(), 3u);  // one for each outage
}

TEST_F(SipClient, AClosedOrGarbledControlChannelCountsAsAFailure) {
  attached();
  io_->handlers.disconnected("closed");
  EXPECT_EQ(io_->stops, 1);  // the process is asked to end first
  io_->processEnded("baresip ended with exit status 0");
  wait(1ms);
  auto boxes = take("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].starts_with("The SIP user agent (baresip) stopped: baresip closed its control connection"))
      << boxes[0];
  wait(1s);
  io_->comeUp();
  // A message that is not understood is only logged; a broken stream is a failure.
  io_->deliver("{\"what\":1}");
  io_->deliver("not json");
  EXPECT_TRUE(remarked("baresip sent a message that is not understood"));
  EXPECT_EQ(io_->stops, 1);
  io_->deliverRaw("12:x,");
  EXPECT_EQ(io_->stops, 1);  // the rest of it may still come
  io_->deliverRaw("0123456789z");
  EXPECT_EQ(io_->stops, 2);
  EXPECT_EQ(client_->agent().state(), BaresipAgent::State::Failing);
}

// A call from outside is presented to the program with its caller made safe and kept off the air; refused, the
// refusal's status goes to the file the library in baresip reads, and its end says nothing of busy or no answer (which
// would be announced as a call's result). A PIN caller's keys reach the program once the call is held.
TEST_F(SipClient, IncomingCallsArePresentedHeldOffTheAirAndRefusedWithTheirStatus) {
  writeFile("quillmere_dialrules.ini", "[INCOMING]\r\nallow 5551234 pin 4711\r\n");
  std::vector<bool> held;
  client_->skype().onHold = [&](bool h) { held.push_back(h); };
  attached();
  main().Check1.setValue(1);
  io_->deliver(callEvent("CALL_INCOMING", "in1", "", "sip:\\u001b[2Jevil\\u0007\\\"x@example.com;tag=1", "incoming"));
  EXPECT_EQ(take("notify"), (std::vector<std::string>{"CALL 1 TYPE INCOMING_PSTN", "CALL 1 PARTNER_HANDLE ??2Jevil??x",
                                                      "CALL 1 STATUS RINGING"}));
  wait(10ms);
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"hangup [hangup 1]"});
  EXPECT_EQ(readFile(client_->agent().folder() / "refusal"), "403");
  io_->deliver(callEvent("CALL_CLOSED", "in1", "Connection reset by user", "sip:x@example.com", "incoming"));
  EXPECT_EQ(take("notify"), std::vector<std::string>{"CALL 1 STATUS FINISHED"});
  EXPECT_EQ(held, (std::vector<bool>{true, false}));

  io_->deliver(callEvent("CALL_INCOMING", "in2", "", "sip:5551234@example.com", "incoming"));
  wait(10ms);
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"accept [accept 2]"});
  io_->deliver(callEvent("CALL_ESTABLISHED", "in2", "", "sip:5551234@example.com", "incoming"));
  for (const char* key : {"4", "7", "1", "1"})
    io_->deliver(callEvent("CALL_DTMF_START", "in2", key, "sip:5551234@example.com", "incoming"));
  wait(10ms);
  auto notes = take("notify");
  EXPECT_EQ(std::vector<std::string>(notes.begin() + 3, notes.end()),
            (std::vector<std::string>{"CALL 2 STATUS ONHOLD", "CALL 2 DTMF 4", "CALL 2 DTMF 7", "CALL 2 DTMF 1",
                                      "CALL 2 DTMF 1", "CALL 2 STATUS INPROGRESS"}));
  EXPECT_EQ(held, (std::vector<bool>{true, false, true, false}));
}

TEST_F(SipClient, EveryChangeOfTheRegistrationIsReportedInWordsThatFitWhatHappened) {
  start();
  io_->comeUp();
  io_->takeCommands();
  wait(1s);
  const std::string account = "SIP account sip:n0call@provider.example: ";
  EXPECT_EQ(take("sip"), std::vector<std::string>{account + "registering with provider.example"});
  io_->deliver(registerEvent("REGISTER_OK", "200 OK"));
  EXPECT_EQ(take("sip"), std::vector<std::string>{account + "registered with provider.example"});
  EXPECT_TRUE(remarked(account + "registered with provider.example"));  // the operator's log and problem line
  // A refusal names the provider's reason and what to check, once, in a box as well.
  io_->deliver(registerEvent("REGISTER_FAIL", "401 Unauthorized"));
  io_->deliver(registerEvent("REGISTER_FAIL", "401 Unauthorized"));
  wait(1ms);
  const std::string refused = account +
                              "the provider refused the registration: 401 Unauthorized; check the user name and the "
                              "password in the SIP settings";
  EXPECT_EQ(take("sip"), std::vector<std::string>{refused});
  EXPECT_EQ(take("box"), std::vector<std::string>{refused + "."});
  // A call meanwhile is answered at once, and tries the registration again.
  send("CALL 5551234");
  EXPECT_EQ(take("notify"),
            (std::vector<std::string>{"CALL 1 FAILUREREASON 4", "CALL 1 STATUS FAILED", "CALL 1 STATUS FINISHED"}));
  EXPECT_EQ(io_->takeCommands(),
            (std::vector<std::string>{
                "uadel sip:n0call@provider.example [register uadel]",
                "uanew <sip:n0call@provider.example>;auth_pass=secret;answermode=manual;regint=600 [register uanew]"}));
  send("CALL 5551234");  // that attempt is on its way: no other
  EXPECT_TRUE(io_->takeCommands().empty());
  io_->deliver(registerEvent("REGISTER_OK", "200 OK"));
  EXPECT_EQ(take("sip"), std::vector<std::string>{account + "registered with provider.example"});
}

TEST_F(SipClient, ARegistrarThatDoesNotAnswerIsToldSoAndTriedAgainSoonAfter) {
  start();
  io_->comeUp();
  io_->takeCommands();
  take("sip");
  const std::string account = "SIP account sip:n0call@provider.example: ";
  wait(3999ms);
  EXPECT_TRUE(take("sip").empty());
  wait(1ms);
  EXPECT_EQ(take("sip"),
            std::vector<std::string>{account + "no answer from the registrar provider.example (nothing heard in 4 "
                                               "s); trying again in 2 s"});
  wait(1s);
  EXPECT_TRUE(take("box").empty());  // not a refusal, and retried by itself
  // Tries 2, then 4, 8 ... seconds after each failure.
  wait(1s);
  EXPECT_EQ(io_->takeCommands().size(), 2u);
  io_->deliver(registerEvent("REGISTER_FAIL", "Connection timed out"));
  wait(3999ms);
  EXPECT_TRUE(io_->takeCommands().empty());
  wait(1ms);
  EXPECT_EQ(io_->takeCommands().size(), 2u);
  EXPECT_TRUE(take("sip").empty());  // still no answer: nothing new to tell
  io_->deliver(registerEvent("REGISTER_OK", "200 OK"));
  EXPECT_EQ(take("sip"), std::vector<std::string>{account + "registered with provider.example"});
  // No new attempt while a call is up: it would end the call.
  send("CALL 123");
  io_->takeCommands();
  io_->deliver(callEvent("CALL_RINGING", "c2", ""));
  io_->deliver(registerEvent("REGISTER_FAIL", "Connection timed out"));
  wait(10s);
  EXPECT_TRUE(io_->takeCommands().empty());
}

TEST_F(SipClient, TheSettingsWindowShowsTheFileAndItsSaveTakesEffect) {
  attached();
  Window& window = namedWindow(session_, "SipSettings");
  auto& settings = dynamic_cast<SipSettingsWindow&>(window);
  EXPECT_FALSE(settings.Visible());
  EXPECT_EQ(settings.box("Account")->Text(), "sip:n0call@provider.example");
  EXPECT_EQ(settings.box("DialPattern")->Text(), "sip:{number}@provider.example");
  EXPECT_EQ(settings.box("InputDevice")->Text(), "default");
  EXPECT_TRUE(settings.box("Password")->password);
  EXPECT_EQ(settings.chkRegister.Value(), 1);

  // The dial plan changes at once, without a restart.
  act({"set", "SipSettings.txtDialPattern", "sip:{number}@other.example"});
  act({"click", "SipSettings.cmdSave"});
  EXPECT_EQ(readProfileString(home_ / "quillmere_sip.ini", "SETTINGS", "DialPattern", ""),
            "sip:{number}@other.example");
  EXPECT_EQ(readProfileString(home_ / "quillmere_sip.ini", "SETTINGS", "Register", ""), "1");
  EXPECT_EQ(io_->stops, 0);
  send("CALL 42");
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"dial sip:42@other.example [dial 1]"});

  // A new sound device restarts baresip, once the call is over.
  act({"set", "SipSettings.txtOutputDevice", "plughw:1,0"});
  act({"click", "SipSettings.cmdSave"});
  EXPECT_EQ(io_->stops, 0);
  EXPECT_TRUE(remarked("take effect when the call has ended"));
  io_->deliver(callEvent("CALL_CLOSED", "c1", "486 Busy Here", "sip:42@other.example"));
  EXPECT_EQ(io_->stops, 1);
  io_->processEnded("baresip ended with exit status 0");
  ASSERT_EQ(io_->starts.size(), 2u);
  EXPECT_NE(readFile(home_ / "baresip" / "config").find("audio_player    aubridge,plughw:1,0\n"), std::string::npos);
  comeUpRegistered();
  // A restart asked for is no outage: no box, and the link is not bothered with it.
  EXPECT_TRUE(take("box").empty());
  EXPECT_TRUE(panel().ends_with("<- CALL 1 STATUS FINISHED")) << panel();
  send("CALL 43");
  EXPECT_EQ(io_->takeCommands(), std::vector<std::string>{"dial sip:43@other.example [dial 2]"});
}

TEST_F(SipClient, SettingsThatCannotBeUsedAreNamedAndNotSaved) {
  start("[SETTINGS]\r\nControlPort=abc\r\nAudioDriver=aubridge\r\n");
  wait(1ms);
  EXPECT_EQ(take("box"), std::vector<std::string>{"The SIP settings have values that cannot be used:\r\n" +
                                                  (home_ / "quillmere_sip.ini").string() +
                                                  ": the value \"abc\" of ControlPort is not a port number from 0 to "
                                                  "65535; using \"0\" instead."});
  EXPECT_EQ(io_->starts.size(), 1u);  // it starts all the same, on a free port
  auto& settings = dynamic_cast<SipSettingsWindow&>(namedWindow(session_, "SipSettings"));
  auto boxes = take("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].starts_with("Internal Error: Form_Load\r\n")) << boxes[0];
  EXPECT_EQ(settings.box("ControlPort")->Text(), "0");

  std::string before = readFile(home_ / "quillmere_sip.ini");
  act({"set", "SipSettings.txtControlPort", "99999"});
  act({"set", "SipSettings.txtPassword", "two words"});
  act({"click", "SipSettings.cmdSave"});
  EXPECT_EQ(take("box"), std::vector<std::string>{"The SIP settings were not saved:\r\nThe password cannot hold blanks "
                                                  "or \";\" (baresip would cut it there).\r\nControl port \"99999\" "
                                                  "is not a port number from 0 to 65535."});
  EXPECT_EQ(readFile(home_ / "quillmere_sip.ini"), before);
}

TEST_F(SipClient, TheProgramsEndStopsBaresipAndSilencesTheClient) {
  attached();
  send("CALL 123");
  take("notify");
  act({"click", "frmMain.cmdExit"});
  EXPECT_EQ(take("exit").size(), 1u);
  EXPECT_EQ(io_->stops, 1);
  io_->deliver(callEvent("CALL_ESTABLISHED", "c1", ""));
  EXPECT_TRUE(take("notify").empty());
}

TEST_F(SipClient, TheSimulatedClientsActionsAndKillingAStoppedBaresipAreScriptErrors) {
  start();
  EXPECT_THROW(runAction(session_, {"skype", "answer"}), ScriptError);
  io_->processEnded("could not run baresip");
  EXPECT_THROW(runAction(session_, {"sip", "kill"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"sip", "explode"}), ScriptError);
}

TEST(BaresipAgentAlone, MessagesAreHandedOnInOrderEvenWhenAListenerLetsMoreArrive) {
  auto home = freshHome();
  VirtualScheduler scheduler(startTime());
  FakeAgentIo io;
  std::vector<std::string> seen;
  {
    BaresipAgent agent(io, scheduler, home / "baresip");
    agent.listener.message = [&](const BaresipMessage& m) {
      std::string token = std::get<BaresipResponse>(m).token;
      seen.push_back(token);
      if (token == "1") io.deliver(response(true, "", "3"));  // a box's own loop lets the socket be read
    };
    agent.start();
    io.comeUp();
    io.deliverRaw(netstring(response(true, "", "1")) + netstring(response(true, "", "2")));
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3"}));
    // Destroyed while running: the process is asked to end, and no handler points at it any more.
  }
  EXPECT_EQ(io.stops, 1);
  EXPECT_FALSE(io.handlers.ended);
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace qm
