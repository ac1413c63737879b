// The history log file in the state folder: every history line is appended as it happens and is still there after
// a restart, phone calls are logged with their result and duration, the file is rotated at its size limit, and a
// state folder that cannot be written is reported once while the window goes on logging.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/frm_main.h"
#include "history/call_records.h"
#include "history/form_history.h"
#include "history/history_log_file.h"
#include "platform/clock_format.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"

namespace qm {
namespace {

std::filesystem::path makeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-history-file-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The log's lines without the keyings of the transmitter (the start's announcement keys it).
std::string historyLines(const std::filesystem::path& p) {
  std::istringstream in(slurp(p));
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find(" TX -- ") == std::string::npos) kept += line + "\n";
  return kept;
}

Scheduler::TimePoint at(const char* when) {
  Scheduler::TimePoint t;
  if (!parseLocalDateTime(when, t)) throw std::runtime_error("bad time");
  return t;
}

// One run of the program on the simulated node and Skype, keeping its state in `state`.
struct ProgramRun {
  ProgramRun(const std::filesystem::path& folder, const std::filesystem::path& state, const char* when)
      : scheduler(at(when)),
        session(
            scheduler, Folders{folder, folder, state}, nullptr,
            [](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [] {});
            },
            std::make_unique<FixedInstanceLock>(false)) {
    session.skype.setAttachMode(SimulatedSkype::AttachMode::AllowNow);
    session.start();
    scheduler.runFor(std::chrono::seconds(2));  // attached
    session.program().history().DTMF.setValue(1);
  }
  VirtualScheduler scheduler;
  Session session;
};

class HistoryFile : public ::testing::Test {
 protected:
  ~HistoryFile() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_ = makeFolder();
  std::filesystem::path state_ = folder_ / "state";
  std::filesystem::path log_ = state_ / HistoryLogFile::kFileName;
};

TEST_F(HistoryFile, HistoryLinesAreAppendedAndSurviveARestart) {
  {
    ProgramRun first(folder_, state_, "2026-03-04 05:06:07");
    first.session.node.dtmf("123");
    // Written at once, not when the program ends: the window's line, after a date and time that sort.
    std::string shown = first.session.program().history().CallHistory.Text();
    ASSERT_EQ(shown.substr(0, 12), "DTMF -- 123 ");
    EXPECT_EQ(historyLines(log_), "2026-03-04 05:06:09 " + shown.substr(0, shown.size() - 2) + "\n");
  }
  ProgramRun second(folder_, state_, "2026-03-05 00:00:00");
  second.session.node.dtmf("45");
  std::string text = historyLines(log_);
  EXPECT_EQ(text.find("2026-03-04 05:06:09 DTMF -- 123 -- "), 0u);
  EXPECT_NE(text.find("\n2026-03-05 00:00:02 DTMF -- 45 -- "), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  EXPECT_TRUE(second.session.transcript.pending("box").empty());
}

TEST_F(HistoryFile, PhoneCallsAreLoggedWithTheirResultAndDuration) {
  ProgramRun run(folder_, state_, "2026-03-04 10:00:00");
  frmMain& main = run.session.program().main();
  main.txtSend.setText("CALL 5551234");
  main.cmdSend.click();
  run.session.skype.answer();
  run.scheduler.runFor(std::chrono::milliseconds(3500));
  main.Command17.click();  // hangs up
  main.txtSend.setText("CALL echo123");
  main.cmdSend.click();
  run.session.skype.busy();
  std::string text = slurp(log_);
  EXPECT_NE(text.find("2026-03-04 10:00:06 Call to 5551234 -- answered -- 3 s\n"), std::string::npos) << text;
  EXPECT_NE(text.find("2026-03-04 10:00:06 Call to echo123 -- busy\n"), std::string::npos) << text;
}

TEST(CallRecords, EachEndingGivesOneLineWithItsResult) {
  CallRecords calls;
  EXPECT_FALSE(calls.traffic("<- CALL 1 STATUS FINISHED"));  // no call placed: nothing to log
  EXPECT_FALSE(calls.traffic("-> CALL 0049301234"));
  EXPECT_FALSE(calls.traffic("<- CALL 7 STATUS RINGING"));
  EXPECT_EQ(calls.traffic("<- CALL 7 STATUS FINISHED"), "Call to 0049301234 -- not answered");
  calls.traffic("-> CALL 99");
  calls.traffic("<- CALL 8 STATUS REFUSED");
  EXPECT_EQ(calls.traffic("<- CALL 8 STATUS FINISHED"), "Call to 99 -- refused");
  calls.traffic("-> CALL 98");
  calls.traffic("<- CALL 9 STATUS INPROGRESS");
  calls.traffic("<- CALL 9 DURATION 61");
  EXPECT_FALSE(calls.traffic("-> SET CALL 9 STATUS FINISHED"));
  EXPECT_EQ(calls.traffic("<- CALL 9 STATUS FINISHED"), "Call to 98 -- answered -- 61 s");
  EXPECT_FALSE(calls.traffic("<- CALL 9 STATUS FINISHED"));  // logged once
}

TEST_F(HistoryFile, TheFileIsRotatedAtItsLimitAndNoLineIsLost) {
  HistoryLogFile file(state_, 200);
  auto t = at("2026-01-01 00:00:00");
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(file.append(t, "line " + std::to_string(i) + "\r\nsecond part"));
  std::string current = slurp(log_), previous = slurp(state_ / "quillmere_history.log.1");
  EXPECT_LE(current.size(), 200u);
  EXPECT_LE(previous.size(), 200u);
  EXPECT_GT(previous.size(), 150u);
  // The newest lines, in order and whole, across the two files; each event is one line.
  std::string both = previous + current;
  EXPECT_NE(both.find("2026-01-01 00:00:00 line 28  second part\n2026-01-01 00:00:00 line 29  second part\n"),
            std::string::npos);
  EXPECT_EQ(current.substr(current.size() - 41), "2026-01-01 00:00:00 line 29  second part\n");
  EXPECT_EQ(both.find("line 0 "), std::string::npos);  // older generations are dropped
}

TEST_F(HistoryFile, AStateFolderThatCannotBeWrittenIsReportedOnceAndTheWindowGoesOn) {
  std::ofstream(folder_ / "blocker") << "a file where the state folder's parent should be";
  ProgramRun run(folder_, folder_ / "blocker" / "state", "2026-03-04 05:06:07");
  auto& boxes = run.session.transcript.pending("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes.front().arg.find("The history log file cannot be kept: cannot create the folder " +
                                   (folder_ / "blocker" / "state").string()),
            std::string::npos);
  boxes.clear();
  run.session.node.dtmf("1");
  run.session.node.dtmf("2");
  EXPECT_TRUE(run.session.transcript.pending("box").empty());
  EXPECT_NE(run.session.program().history().CallHistory.Text().find("DTMF -- 2 -- "), std::string::npos);
}

}  // namespace
}  // namespace qm
