// The simulated Skype client, driven from a client window of its own.
#include "skype/simulated_skype.h"

#include <gtest/gtest.h>

#include "platform/clock_format.h"
#include "platform/virtual_scheduler.h"
#include "skype/api_text.h"

namespace qm {
namespace {

using std::chrono::milliseconds;

class RecordingLog : public OutputLog {
 public:
  void record(const OutputEvent& e) override { events.push_back(e.kind + " " + e.arg); }
  std::vector<std::string> take() { return std::exchange(events, {}); }
  std::vector<std::string> events;
};

Scheduler::TimePoint startTime() {
  Scheduler::TimePoint t;
  parseLocalDateTime("2026-01-01 00:00:00", t);
  return t;
}

class SimulatedSkypeTest : public ::testing::Test {
 protected:
  SimulatedSkypeTest() : scheduler_(startTime()), skype_(desktop_, scheduler_, log_) {
    discover_ = desktop_.RegisterWindowMessage("SkypeControlAPIDiscover");
    attach_ = desktop_.RegisterWindowMessage("SkypeControlAPIAttach");
    WNDPROC proc = desktop_.addProcedure([this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
      if (msg == WM_COPYDATA) received_.push_back(decodeApiText(l));
      if (msg == attach_) received_.push_back("attach " + std::to_string(l) + (w ? " from its window" : ""));
      if (msg == attach_ && w) skypeWindow_ = w;
      return 1;
    });
    client_ = desktop_.createWindow("client", proc);
  }

  void launch(SimulatedSkype::AttachMode mode) {
    skype_.setAttachMode(mode);
    skype_.launch();
  }
  void discover() { desktop_.SendMessage(HWND_BROADCAST, discover_, client_, 0); }
  // Sends a command; returns what came back during the send.
  std::vector<std::string> command(const std::string& text) {
    ApiText t(text);
    received_.clear();
    EXPECT_EQ(desktop_.SendMessage(skype_.apiWindow(), WM_COPYDATA, client_, t.lParam()), 1);
    return take();
  }
  std::vector<std::string> take() { return std::exchange(received_, {}); }
  void wait(milliseconds d) { scheduler_.runFor(d); }

  WindowSystem desktop_;
  VirtualScheduler scheduler_;
  RecordingLog log_;
  SimulatedSkype skype_;
  UINT discover_ = 0, attach_ = 0;
  HWND client_ = 0, skypeWindow_ = 0;
  std::vector<std::string> received_;
};

using Strings = std::vector<std::string>;

TEST_F(SimulatedSkypeTest, AllowAsksItsUserThenSucceedsASecondLater) {
  launch(SimulatedSkype::AttachMode::Allow);
  discover();
  EXPECT_EQ(take(), Strings{"attach 1"});
  wait(milliseconds(999));
  EXPECT_EQ(take(), Strings{});
  wait(milliseconds(1));
  EXPECT_EQ(take(), Strings{"attach 0 from its window"});
  EXPECT_EQ(skypeWindow_, skype_.apiWindow());
  // Allowed once, allowed at once from then on.
  discover();
  EXPECT_EQ(take(), Strings{"attach 0 from its window"});
  EXPECT_TRUE(log_.take().empty()) << "attach messages are not API text";
}

TEST_F(SimulatedSkypeTest, ADiscoverDuringTheWaitStartsItAfresh) {
  launch(SimulatedSkype::AttachMode::Allow);
  discover();
  wait(milliseconds(600));
  discover();
  wait(milliseconds(600));
  EXPECT_EQ(take(), (Strings{"attach 1", "attach 1"}));
  wait(milliseconds(400));
  EXPECT_EQ(take(), Strings{"attach 0 from its window"});
}

TEST_F(SimulatedSkypeTest, OtherAttachModes) {
  launch(SimulatedSkype::AttachMode::Refuse);
  discover();
  wait(milliseconds(5000));
  EXPECT_EQ(take(), Strings{"attach 2"});
  skype_.setAttachMode(SimulatedSkype::AttachMode::AllowNow);
  discover();
  EXPECT_EQ(take(), Strings{"attach 0 from its window"});
}

TEST_F(SimulatedSkypeTest, AbsentMeansNoWindow) {
  launch(SimulatedSkype::AttachMode::Absent);
  EXPECT_FALSE(skype_.running());
  discover();
  EXPECT_EQ(take(), Strings{});
  EXPECT_EQ(SimulatedSkype::parseAttachMode("allow-now"), SimulatedSkype::AttachMode::AllowNow);
  EXPECT_EQ(SimulatedSkype::parseAttachMode("deny"), std::nullopt);
}

TEST_F(SimulatedSkypeTest, ACallRingsInsideTheSendAndRunsOnceAnswered) {
  launch(SimulatedSkype::AttachMode::AllowNow);
  skype_.setAutoAnswer(std::nullopt);
  EXPECT_EQ(command("CALL echo123"), (Strings{"CALL 1 STATUS ROUTING", "CALL 1 STATUS RINGING"}));
  EXPECT_EQ(log_.take(),
            (Strings{"sent CALL echo123", "notify CALL 1 STATUS ROUTING", "notify CALL 1 STATUS RINGING"}));
  wait(milliseconds(60000));
  EXPECT_EQ(take(), Strings{}) << "it rings until answered";
  EXPECT_TRUE(skype_.answer());
  EXPECT_FALSE(skype_.answer()) << "nothing else rings";
  wait(milliseconds(2000));
  EXPECT_EQ(take(), (Strings{"CALL 1 STATUS INPROGRESS", "CALL 1 DURATION 1", "CALL 1 DURATION 2"}));
  EXPECT_EQ(command("get call 1 duration"), Strings{"CALL 1 DURATION 2"});
  EXPECT_EQ(command("GET CALL 1 STATUS"), Strings{"CALL 1 STATUS INPROGRESS"});
  EXPECT_EQ(command("SET CALL 1 STATUS FINISHED"), Strings{"CALL 1 STATUS FINISHED"});
  wait(milliseconds(5000));
  EXPECT_EQ(take(), Strings{}) << "no durations after the end";
  EXPECT_EQ(command("SET CALL 1 STATUS FINISHED"), Strings{"ERROR 11 Invalid call id"});
  EXPECT_FALSE(skype_.hangup());
}

TEST_F(SimulatedSkypeTest, TheFarEndAnswersByItselfUnlessToldOtherwise) {
  launch(SimulatedSkype::AttachMode::AllowNow);
  command("CALL a");
  wait(milliseconds(1000));
  command("CALL b");  // a second call, answered three seconds after its own start
  wait(milliseconds(1999));
  EXPECT_EQ(take(), Strings{});
  wait(milliseconds(1));
  EXPECT_EQ(take(), Strings{"CALL 1 STATUS INPROGRESS"});
  wait(milliseconds(1000));
  EXPECT_EQ(take(), (Strings{"CALL 1 DURATION 1", "CALL 2 STATUS INPROGRESS"}));
  wait(milliseconds(1000));
  EXPECT_EQ(take(), (Strings{"CALL 1 DURATION 2", "CALL 2 DURATION 1"}));
  EXPECT_TRUE(skype_.hangup());  // the latest call
  EXPECT_EQ(take(), Strings{"CALL 2 STATUS FINISHED"});
  // A call the far end refuses as busy before it answers by itself.
  command("CALL c");
  wait(milliseconds(500));
  EXPECT_TRUE(skype_.busy());
  EXPECT_EQ(take(), (Strings{"CALL 3 STATUS BUSY", "CALL 3 STATUS FINISHED"}));
  wait(milliseconds(5000));
  EXPECT_EQ(take().size(), 5u) << "only call 1's durations";
}

TEST_F(SimulatedSkypeTest, OtherCommands) {
  launch(SimulatedSkype::AttachMode::AllowNow);
  EXPECT_EQ(command("SET MUTE ON"), Strings{"MUTE ON"});
  EXPECT_EQ(command("GET MUTE"), Strings{"MUTE ON"});
  EXPECT_EQ(command("set mute off"), Strings{"MUTE OFF"});
  EXPECT_EQ(command("SET MUTE MAYBE"), Strings{"ERROR 2 Unknown command"});
  EXPECT_EQ(command("PING"), Strings{"PONG"});
  EXPECT_EQ(command("PROTOCOL 5"), Strings{"PROTOCOL 5"});
  EXPECT_EQ(command("CALL"), Strings{"ERROR 34 Invalid user handle"});
  EXPECT_EQ(command("GET CALL x STATUS"), Strings{"ERROR 11 Invalid call id"});
  EXPECT_EQ(command("SET CALL 1 STATUS RINGING"), Strings{"ERROR 2 Unknown command"});
  EXPECT_EQ(command(""), Strings{"ERROR 2 Unknown command"});
  EXPECT_EQ(command("HELLO"), Strings{"ERROR 2 Unknown command"});
}

TEST_F(SimulatedSkypeTest, ADeafClientSendsNothing) {
  launch(SimulatedSkype::AttachMode::AllowNow);
  skype_.setDeaf(true);
  command("CALL a");
  skype_.notify(client_, "PONG");
  skype_.sendAttach(client_, 0, skype_.apiWindow());
  EXPECT_EQ(take(), Strings{});
  EXPECT_TRUE(log_.take().empty());
}

}  // namespace
}  // namespace qm
