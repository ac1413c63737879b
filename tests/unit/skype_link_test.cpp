// The program's Skype link on a shared desktop, checked from outside: the hook on the main window's procedure, the
// bytes that go out, and what becomes of odd messages that come in.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "app/frm_main.h"
#include "platform/clock_format.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/script.h"
#include "scenario/session_actions.h"
#include "session/session.h"
#include "skype/api_text.h"
#include "skype/mod_main.h"

namespace qm {
namespace {

class NoOtherCopy : public InstanceLock {
 public:
  bool anotherCopyRunning() override { return false; }
};

Scheduler::TimePoint startTime() {
  Scheduler::TimePoint t;
  parseLocalDateTime("2026-01-01 00:00:00", t);
  return t;
}

class SkypeLink : public ::testing::Test {
 protected:
  SkypeLink()
      : home_(std::filesystem::temp_directory_path() / ("quillmere-skype-link-" + std::to_string(::getpid()))),
        scheduler_(startTime()),
        session_(
            scheduler_, Folders{home_, home_}, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this] { scheduler_.halt(); });
            },
            std::make_unique<NoOtherCopy>()) {
    std::filesystem::create_directories(home_);
    session_.skype.setAutoAnswer(std::nullopt);
  }
  ~SkypeLink() override { std::filesystem::remove_all(home_); }

  void start(SimulatedSkype::AttachMode mode = SimulatedSkype::AttachMode::AllowNow) {
    session_.skype.setAttachMode(mode);
    session_.start();
    session_.transcript.pending("http").clear();
  }
  frmMain& main() { return session_.program().main(); }
  modMain& link() { return main().skypeLink(); }
  WindowSystem& desktop() { return session_.windowSystem; }
  WNDPROC current() { return desktop().GetWindowLong(link().mainWindowHandle(), GWL_WNDPROC); }
  std::string variable(const std::string& name) { return link().variable(name)->get(); }
  // The boxes shown so far, as "text|icon".
  std::vector<std::string> boxes() {
    std::vector<std::string> out;
    for (auto& e : session_.transcript.pending("box")) out.push_back(e.arg + "|" + e.extra);
    session_.transcript.pending("box").clear();
    return out;
  }
  // A message from a window that is not Skype, with exactly these bytes.
  LRESULT sendBytes(const std::string& bytes) {
    COPYDATASTRUCT cds{0, static_cast<std::uint32_t>(bytes.size()), bytes.data()};
    return desktop().SendMessage(link().mainWindowHandle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
  }

  std::filesystem::path home_;
  VirtualScheduler scheduler_;
  Session session_;
};

TEST_F(SkypeLink, TheMainWindowKeepsItsOwnProcedureUntilTheLinkConnects) {
  start();
  WNDPROC own = current();
  EXPECT_NE(own, 0);
  EXPECT_EQ(variable("MainHwnd"), std::to_string(link().mainWindowHandle()));
  EXPECT_EQ(variable("PrevWndProc"), "0");
  scheduler_.runFor(std::chrono::milliseconds(1000));
  EXPECT_EQ(std::to_string(current()), variable("WindowProc"));
  EXPECT_EQ(link().PrevWndProc, own);
  EXPECT_EQ(link().SkypeApiHwnd, session_.skype.apiWindow());
}

TEST_F(SkypeLink, ASecondConnectDoesNotHookTwice) {
  start();
  WNDPROC own = current();
  main().cmdConnect.click();  // before Timer1 connects by itself
  scheduler_.runFor(std::chrono::milliseconds(1500));
  EXPECT_EQ(link().PrevWndProc, own) << "the hook's own procedure was saved as the previous one";
  // Messages that are not Skype's still reach the window's own procedure, once.
  EXPECT_EQ(desktop().SendMessage(link().mainWindowHandle(), 0x0400, 0, 0), 0);
  main().cmdDisconnect.click();
  EXPECT_EQ(current(), own);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(SkypeLink, UnhookingWithNothingHookedLeavesTheProcedureAsItIs) {
  start();
  WNDPROC own = current();
  main().cmdDisconnect.click();  // before any connect
  EXPECT_EQ(current(), own);
  EXPECT_EQ(link().PrevWndProc, 0);
  EXPECT_TRUE(boxes().empty());
  EXPECT_FALSE(main().cmdDisconnect.Enabled());
  EXPECT_TRUE(main().cmdConnect.Enabled());
  EXPECT_EQ(main().txtData.Text(), "// Disconnecting at " + formatDateTime(scheduler_.now()));
  // A second disconnect after a real one changes nothing either (PrevWndProc is kept).
  scheduler_.runFor(std::chrono::milliseconds(1000));
  main().cmdDisconnect.click();
  main().cmdDisconnect.Click();
  EXPECT_EQ(current(), own);
  EXPECT_NE(link().PrevWndProc, 0);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(SkypeLink, AHookThatCannotBeInstalledIsReported) {
  start();
  desktop().destroyWindow(link().mainWindowHandle());
  std::string panel = main().txtData.Text();
  main().cmdConnect.click();
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Failed to Hook CallBack!|warning"}));
  EXPECT_EQ(main().txtData.Text(), panel) << "the connect stops at the failed hook";
  EXPECT_TRUE(main().cmdConnect.Enabled());
  main().cmdDisconnect.click();
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Failed to Hook CallBack!|warning"}));
  EXPECT_TRUE(main().cmdDisconnect.Enabled()) << "the disconnect stops at the failed unhook";
}

TEST_F(SkypeLink, OddIncomingMessagesAreReadWithinTheirBytes) {
  start();
  scheduler_.runFor(std::chrono::milliseconds(1000));
  main().Command16.click();  // clear; the next line is shown untracked
  EXPECT_EQ(sendBytes(std::string("\0\0", 2)), 1) << "an empty message is ignored";
  EXPECT_EQ(sendBytes(""), 1) << "cbData 0 is ignored";
  EXPECT_EQ(main().txtData.Text(), "");
  EXPECT_EQ(sendBytes("PONG"), 1);  // no terminating zero
  EXPECT_EQ(sendBytes(std::string("AB\0CD", 5)), 1);
  EXPECT_EQ(sendBytes("\xFF\xFE"), 1);
  EXPECT_EQ(main().txtData.Text(), "<- PONG\r\n<- AB\r\n<- \xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(boxes().empty()) << "no box holds up the sender";
}

TEST_F(SkypeLink, CommandsGoOutAsBytesWithOneZero) {
  start();
  std::vector<COPYDATASTRUCT> records;
  std::vector<std::vector<char>> bytes;
  std::vector<WPARAM> senders;
  WNDPROC fake = desktop().addProcedure([&](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m != WM_COPYDATA) return 0;
    records.push_back(*reinterpret_cast<const COPYDATASTRUCT*>(l));
    bytes.push_back(copyDataBytes(l));
    senders.push_back(w);
    return 1;
  });
  HWND other = desktop().createWindow("other client", fake);
  scheduler_.runFor(std::chrono::milliseconds(1000));
  ASSERT_TRUE(runAction(session_, {"skype", "attach", "0", std::to_string(other)}));
  EXPECT_EQ(link().SkypeApiHwnd, other);

  main().txtSend.setText("CALL 001234567890123");  // 20 characters
  main().Dial_Phone();
  main().txtSend.setText("CALL J\xC3\xBCrgen");
  main().cmdSend.click();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].cbData, 21u);
  EXPECT_EQ(records[0].dwData, 0u);
  EXPECT_EQ(bytes[0].back(), '\0');
  EXPECT_EQ(std::string(bytes[0].data()), "CALL 001234567890123");
  EXPECT_EQ(records[1].cbData, 13u) << "bytes, not characters, and the zero";
  EXPECT_EQ(senders[0], link().mainWindowHandle());
  EXPECT_TRUE(session_.transcript.pending("sent").empty()) << "Skype itself saw nothing";
  desktop().destroyWindow(other);
}

TEST_F(SkypeLink, ADurationReportSwitchesTheTimeOutTimerOn) {
  start();
  scheduler_.runFor(std::chrono::milliseconds(1000));
  main().Timer2.setEnabled(false);
  runAction(session_, {"skype", "notify", "CALL 1234 DURATION"});  // no blank after DURATION
  EXPECT_FALSE(main().Timer2.Enabled());
  runAction(session_, {"skype", "notify", "CALL 1234 DURATION 7"});
  EXPECT_TRUE(main().Timer2.Enabled());
  EXPECT_EQ(main().txtSend.Text(), "SET CALL 1234 STATUS FINISHED");
}

TEST_F(SkypeLink, AFinishedCallReloadsTheCounterFromMins) {
  start();
  scheduler_.runFor(std::chrono::milliseconds(1000));
  main().Counter.setCaption("17");
  runAction(session_, {"skype", "notify", "CALL 1 STATUS FINISHED"});
  EXPECT_EQ(main().Counter.Caption(), "240");
  main().Mins.setText("2.5");
  main().Counter.setCaption("17");
  runAction(session_, {"skype", "notify", "CALL 2 STATUS FINISHED"});
  EXPECT_EQ(main().Counter.Caption(), "150");
  main().Counter.setCaption("17");
  runAction(session_, {"skype", "notify", "CALL 2 STATUS ROUTING"});
  EXPECT_EQ(main().Counter.Caption(), "17");
}

TEST_F(SkypeLink, AMinsThatIsNoNumberStopsTheLineWithAnInternalError) {
  start();
  scheduler_.runFor(std::chrono::milliseconds(1000));
  std::string panel = main().txtData.Text();
  main().Mins.setText("four");
  main().Counter.setCaption("17");
  runAction(session_, {"skype", "notify", "CALL 1 STATUS FINISHED"});
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Internal Error: AddText\r\nType mismatch|warning"}));
  EXPECT_EQ(main().txtData.Text(), panel) << "the line is not added";
  EXPECT_EQ(main().Counter.Caption(), "17");
  // The link goes on: the next line is logged as usual.
  runAction(session_, {"skype", "notify", "PONG"});
  EXPECT_EQ(main().txtData.Text(), panel + "\r\n<- PONG");
}

TEST_F(SkypeLink, SkypeActionsRefuseWhatCannotHappen) {
  start(SimulatedSkype::AttachMode::Allow);
  EXPECT_THROW(runAction(session_, {"skype", "answer"}), ScriptError) << "no call";
  EXPECT_THROW(runAction(session_, {"skype", "hangup"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype", "busy"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype", "allow"}), ScriptError) << "set-up after start";
  EXPECT_THROW(runAction(session_, {"skype", "attach", "x"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype", "attach", "0", "0xZ"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype", "notify"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype", "dial"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype"}), ScriptError);
  EXPECT_FALSE(runAction(session_, {"skyp", "answer"}));
}

TEST_F(SkypeLink, WithSkypeAbsentItsActionsAreScriptErrors) {
  start(SimulatedSkype::AttachMode::Absent);
  EXPECT_FALSE(session_.skype.running());
  EXPECT_THROW(runAction(session_, {"skype", "notify", "PONG"}), ScriptError);
  EXPECT_THROW(runAction(session_, {"skype", "attach", "0"}), ScriptError);
}

}  // namespace
}  // namespace qm
