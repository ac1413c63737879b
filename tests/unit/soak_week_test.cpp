// A week of a busy node in virtual time, with random but plausible traffic from a fixed seed: transmissions and
// kerchunks, internet audio, stations connecting, calls requested by DTMF (confirmed or left to expire, answered,
// refused or hung up), directory codes, stray digits, DTMF control switched off and on, chat, station texts, and the
// operator saving each window's settings now and then. Every timer runs all week, the 10 ms displays included.
//
// It checks that nothing grows with run time: the data panel stays within its 10000 characters and the history log
// within its capacity after every event, and the heap in use at the end of day 7 is that of day 2, give or take a
// little, once the history log (which keeps what it is asked to keep, up to its cap) is set aside. The settings
// saved along the way read back as saved.
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "history/form_history.h"
#include "platform/instance_lock.h"
#include "platform/profile_file.h"
#include "platform/vb_text.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace qm {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// Bytes the program holds on the heap: AddressSanitizer's own count when it replaces the allocator.
std::size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
  return __sanitizer_get_current_allocated_bytes();
#else
  struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;  // large blocks are mapped on their own and counted apart
#endif
}

std::filesystem::path makeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-soak-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

class Week {
 public:
  Week()
      : folder_(makeFolder()),
        scheduler_(Scheduler::TimePoint{}),
        session_(
            scheduler_, Folders{folder_, folder_}, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this] { scheduler_.halt(); });
            },
            std::make_unique<FixedInstanceLock>(false)),
        rng_(20260101) {
    session_.transcript.setKeeping(false);
    session_.skype.setAutoAnswer(std::nullopt);  // the week decides how each call goes
    write("quillmere.ini", "[SETTINGS]\r\nCheck1=1\r\nMins=4\r\nTimeOutTimeSeconds=10\r\n");
    write("quillmere_courtsey.ini", "[SETTINGS]\r\nSTOPCLOCK7=1\r\nBEACONPERIOD7=15\r\nUSELONGCHECK=1\r\nLONGID=4\r\n");
    write("quillmere_history.ini", "[SETTINGS]\r\nCHECK8=1\r\nCHECK10=1\r\nCHECK11=1\r\nDTMF=1\r\n");
  }
  ~Week() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  Session& session() { return session_; }
  VirtualScheduler& scheduler() { return scheduler_; }
  const std::filesystem::path& folder() const { return folder_; }
  int saves() const { return saves_; }

  // Random traffic until `until`, checking the two text boxes' caps after every event.
  void runUntil(Scheduler::TimePoint until) {
    while (scheduler_.now() < until) {
      ASSERT_FALSE(scheduler_.halted()) << "the program ended during the week";
      oneEvent();
      // A quiet spell between events: a minute and a half on average.
      pass(Ms(static_cast<long>(std::exponential_distribution<double>(1.0 / 90000)(rng_))));
      checkCaps();
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  void checkCaps() {
    frmMain& main = session_.program().main();
    ASSERT_LE(characterCount(main.txtData.Text()), 10000u);
    ASSERT_LE(session_.program().history().CallHistory.Text().size(), FormHistory::kLogCapacity);
  }

  // The heap in use, less what the history log holds (its text grows until its cap, by design).
  long long heapBesidesHistory() {
    const std::string& log = session_.program().history().CallHistory.Text();
    return static_cast<long long>(heapInUse()) - static_cast<long long>(log.capacity());
  }

 private:
  void write(const std::string& name, const std::string& content) {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }
  void pass(Ms d) {
    runUntilEnded([&] { scheduler_.runFor(d); });
  }
  void act(const std::function<void()>& input, Ms after = 0ms) {
    runUntilEnded(input);
    pass(after);
  }
  void dtmf(const std::string& digits, Ms after = 2s) {
    act([&] { session_.node.dtmf(digits); }, after);
  }
  Ms seconds(int low, int high) { return Ms(std::uniform_int_distribution<int>(low * 1000, high * 1000)(rng_)); }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  std::string digits(int low, int high, const std::string& from = "0123456789") {
    std::string s;
    for (int n = std::uniform_int_distribution<int>(low, high)(rng_); n > 0; --n)
      s += from[static_cast<std::size_t>(pick(static_cast<int>(from.size())))];
    return s;
  }

  void oneEvent() {
    static const char* const kStations[] = {"W1AW-L",   "K1ABC-R",  "*IRELAND*", "*ECHOTEST*", "G0ABC",
                                            "*NOSUCH*", "VK2XYZ-L", "N0CALL-R",  "M0XYZ"};
    const int roll = pick(100);
    if (roll < 35) {  // a transmission on the radio, a kerchunk now and then
      act([&] { session_.node.setCarrier(true); }, pick(5) == 0 ? seconds(0, 2) : seconds(3, 60));
      act([&] { session_.node.setCarrier(false); });
    } else if (roll < 45) {  // internet audio
      act([&] { session_.node.setRx(true); }, seconds(5, 60));
      act([&] { session_.node.setRx(false); });
    } else if (roll < 55) {  // a station connects, talks a while, goes
      const std::string call = kStations[pick(9)];
      act([&] { session_.node.connect(call, "Op", "10.0.0." + std::to_string(pick(250))); }, seconds(1, 120));
      act([&] { session_.node.disconnect(call); });
    } else if (roll < 65) {  // a call requested by DTMF
      dtmf("*#" + digits(3, 12));
      if (pick(5) == 0) {
        pass(15s);  // never confirmed: the request expires
        return;
      }
      dtmf("A");
      const int far = pick(10);
      if (far < 6) {
        act([&] { runAction(session_, {"skype", "answer"}); }, seconds(20, 300));
        if (pick(2) == 0)
          dtmf("DD");
        else
          act([&] { runAction(session_, {"skype", "hangup"}); });
      } else if (far < 8) {
        act([&] { runAction(session_, {"skype", "busy"}); });
      } else {
        act([&] { runAction(session_, {"skype", "hangup"}); }, seconds(5, 30));
      }
    } else if (roll < 70) {  // the directory's default code, confirmed, answered, hung up
      dtmf("ABCD");
      dtmf("A");
      act([&] { runAction(session_, {"skype", "answer"}); }, seconds(10, 60));
      dtmf("DD");
    } else if (roll < 75) {  // stray digits
      dtmf(digits(1, 20, "0123456789*#ABCD"));
    } else if (roll < 78) {  // DTMF control off and on again
      dtmf("#0#", 5s);
      dtmf("#1#");
    } else if (roll < 88) {
      const std::string text = pick(4) == 0 ? "/ver/" : "hello from " + std::string(kStations[pick(9)]);
      act([&] { session_.node.chat(text); });
    } else if (roll < 98) {
      const std::string text = std::string("N0CALL-L\r") + kStations[pick(9)] + "  -> \rG0ABC>" + digits(0, 40) + "\r";
      act([&] { session_.node.stationText(text); });
    } else {  // the operator saves one window's settings
      static const char* const kSaves[] = {"frmMain.Command7", "Form21.Command2", "FormHistory.Command19",
                                           "Buddy.Command111", "Form1.Command2"};
      act([&] { runAction(session_, {"click", kSaves[pick(5)]}); });
      ++saves_;
    }
  }

  std::filesystem::path folder_;
  VirtualScheduler scheduler_;
  Session session_;
  std::mt19937 rng_;
  int saves_ = 0;
};

TEST(SoakWeek, NothingGrowsWithRunTimeAndSavedSettingsReadBack) {
  Week week;
  const Scheduler::TimePoint start = week.scheduler().now();
  runUntilEnded([&] { week.session().start(); });
  constexpr auto kDay = std::chrono::hours(24);

  week.runUntil(start + 2 * kDay);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  const long long day2 = week.heapBesidesHistory();
  const std::size_t log2 = week.session().program().history().CallHistory.Text().size();

  week.runUntil(start + 7 * kDay);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  const long long day7 = week.heapBesidesHistory();
  const std::size_t log7 = week.session().program().history().CallHistory.Text().size();

  // Five more days of traffic have passed: the log kept them, and nothing else grew.
  EXPECT_GT(log7, log2);
  EXPECT_LT(day7 - day2, 64 * 1024) << "heap besides the history log: day 2 " << day2 << " bytes, day 7 " << day7;
  EXPECT_GT(week.saves(), 10);
  // What was saved last reads back: the main window's settings as the controls hold them.
  frmMain& main = week.session().program().main();
  runUntilEnded([&] { main.Command7.click(); });
  ProfileFile saved = ProfileFile::load(week.folder() / "quillmere.ini");
  EXPECT_EQ(saved.get("SETTINGS", "Mins"), main.Mins.Text());
  EXPECT_EQ(saved.get("SETTINGS", "Check1"), std::to_string(main.Check1.Value()));
  RecordProperty("heap_day2", std::to_string(day2));
  RecordProperty("heap_day7", std::to_string(day7));
  std::printf("heap besides the history log: day 2 %lld bytes, day 7 %lld bytes; history log %zu -> %zu bytes\n", day2,
              day7, log2, log7);
}

}  // namespace
}  // namespace qm
