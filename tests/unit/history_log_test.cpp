// The history log's text box and its capacity, and the text services of the main window on inputs too big or too
// odd for a scenario file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/frm_main.h"
#include "history/form_history.h"
#include "history/history_log_file.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"

namespace qm {
namespace {

class TestWindow : public Window {
 public:
  explicit TestWindow(Registry& r) : Window(r, "TestWindow", "") {}
  void closeRequest() override {}
};

TEST(TextBoxAppend, AddsAtTheEndMovesTheCaretAndRunsChangeOnce) {
  Registry registry;
  TestWindow window(registry);
  TextBox box(window, "Box", "ab");
  int changes = 0, notices = 0;
  box.Change = [&] { ++changes; };
  box.setObserver([&](const Control&) { ++notices; });

  box.appendText("cd\r\n");
  EXPECT_EQ(box.Text(), "abcd\r\n");
  EXPECT_EQ(box.SelStart, 6u);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(notices, 1);

  // Appending nothing changes nothing.
  box.appendText("");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(notices, 1);

  // The caret counts characters, not bytes.
  box.appendText("\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(box.SelStart, 9u);
  box.setText("\xE2\x82\xAC");
  EXPECT_EQ(box.SelStart, 0u);
  box.appendText("1");
  EXPECT_EQ(box.SelStart, 2u);
  EXPECT_EQ(changes, 4);
}

class Running : public ::testing::Test {
 protected:
  Running()
      : folder_(makeFolder()),
        scheduler_(Scheduler::TimePoint{}),
        session_(
            scheduler_, Folders{folder_, folder_}, nullptr,
            [](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [] {});
            },
            std::make_unique<FixedInstanceLock>(false)) {}
  ~Running() override { std::filesystem::remove_all(folder_); }

  static std::filesystem::path makeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-history-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    return pattern;
  }

  std::filesystem::path folder_;
  VirtualScheduler scheduler_;
  Session session_;
};

TEST_F(Running, AFullLogDropsItsOldestLinesWholeAndKeepsEveryNewOne) {
  session_.start();
  FormHistory& history = session_.program().history();
  history.DTMF.setValue(1);
  const std::string& log = history.CallHistory.Text();
  int n = 0;
  // Well past the capacity, several times over.
  while (n < 250000) {
    session_.node.dtmf(std::to_string(n++));
    ASSERT_LE(log.size(), FormHistory::kLogCapacity);
  }
  EXPECT_GT(log.size(), FormHistory::kLogCapacity / 2);
  // What is kept is a run of whole, consecutive lines, ending with the newest.
  std::size_t first = std::stoul(log.substr(8, 12));
  EXPECT_GT(first, 0u);
  std::size_t at = 0, expected = first;
  for (; at < log.size(); ++expected) {
    ASSERT_EQ(log.compare(at, 8, "DTMF -- "), 0);
    ASSERT_EQ(std::stoul(log.substr(at + 8, 12)), expected);
    at = log.find("\r\n", at) + 2;
  }
  EXPECT_EQ(expected, 250000u);
  EXPECT_EQ(history.CallHistory.SelStart, log.size());
}

TEST_F(Running, ALineLongerThanTheCapacityIsLoggedWhole) {
  session_.start();
  FormHistory& history = session_.program().history();
  history.DTMF.setValue(1);
  session_.node.dtmf("1");
  std::string huge(FormHistory::kLogCapacity + 10, '5');
  session_.node.dtmf(huge);
  const std::string& log = history.CallHistory.Text();
  EXPECT_TRUE(log.starts_with("DTMF -- " + huge + " -- "));
  EXPECT_EQ(log.find("\r\n"), log.size() - 2);
  session_.node.dtmf("2");
  EXPECT_TRUE(log.starts_with("DTMF -- 2 -- "));
}

// Up to the longest station text taken (32767 characters; a longer one is refused with a message, see
// bad_input_test).
TEST_F(Running, ALongStationTextIsShownWhole) {
  session_.start();
  frmMain& main = session_.program().main();
  std::string name(12000, 'K');
  session_.node.stationText(std::string(20000, 'x') + "\rW1AW->" + name + "\rmore\r");
  EXPECT_EQ(main.Text1.Text(), name);
  EXPECT_TRUE(main.Caption().ends_with("  - Last TX --->  " + name));
}

TEST_F(Running, NoReportWithoutAnHttpClient) {
  session_.backends.http = nullptr;
  session_.start();
  EXPECT_TRUE(session_.transcript.pending("http").empty());
  EXPECT_TRUE(session_.transcript.pending("box").empty());
  EXPECT_EQ(session_.program().main().Ver.Text(), "1.0.6");
}

// Each keying of the transmitter lands in the log as it ends, with its length and what keyed it, with no web page to
// watch it: the node's own (a station talking) and the program's (speech, which holds the thread while it keys).
TEST_F(Running, EachKeyingIsLoggedAsItEnds) {
  Session session(
      scheduler_, Folders{folder_, folder_, folder_ / "state"}, nullptr,
      [](Session& s) -> std::unique_ptr<ProgramExit> { return std::make_unique<ScenarioExit>(s.transcript, [] {}); },
      std::make_unique<FixedInstanceLock>(false));
  session.start();
  scheduler_.runFor(std::chrono::seconds(1));
  session.node.setRx(true);
  scheduler_.runFor(std::chrono::milliseconds(2500));
  session.node.setRx(false);
  scheduler_.runFor(std::chrono::seconds(1));
  runAction(session, {"speak", "Test"});
  scheduler_.runFor(std::chrono::seconds(1));
  std::ifstream in(folder_ / "state" / HistoryLogFile::kFileName);
  std::stringstream log;
  log << in.rdbuf();
  EXPECT_NE(log.str().find("TX -- 2.5 s -- station"), std::string::npos) << log.str();
  EXPECT_TRUE(std::regex_search(log.str(), std::regex("TX -- (0\\.[1-9]|[1-9][0-9]*\\.[0-9]) s -- speech")))
      << log.str();
}

}  // namespace
}  // namespace qm
