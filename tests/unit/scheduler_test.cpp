// The window-timer rules and the virtual clock that scenarios and benchmarks run on.
#include <gtest/gtest.h>

#include <vector>

#include "platform/timer.h"
#include "platform/virtual_scheduler.h"
#include "platform/window.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

class TestWindow : public Window {
 public:
  explicit TestWindow(Registry& r) : Window(r, "Test", "") {}
  void closeRequest() override {}
};

class SchedulerTest : public ::testing::Test {
 protected:
  Scheduler::TimePoint t0 = Scheduler::TimePoint(std::chrono::hours(24 * 365 * 56));
  VirtualScheduler s{t0};
  Registry registry;
  TestWindow window{registry};
  std::vector<std::string> log;

  long long at() const { return std::chrono::duration_cast<std::chrono::milliseconds>(s.now() - t0).count(); }
  void record(Timer& t) {
    t.onTimer = [this, &t] { log.push_back(t.name() + "@" + std::to_string(at())); };
  }
};

TEST_F(SchedulerTest, IntervalZeroNeverTicks) {
  Timer t(window, "T", s, 0, true);
  record(t);
  s.runFor(10s);
  EXPECT_TRUE(log.empty());
  t.setInterval(1000);  // a new interval starts it: first tick one interval later
  s.runFor(2500ms);
  EXPECT_EQ(log, (std::vector<std::string>{"T@11000", "T@12000"}));
}

TEST_F(SchedulerTest, StartingAStoppedTimerTicksOneFullIntervalLater) {
  Timer t(window, "T", s, 500, false);
  record(t);
  s.runFor(1200ms);
  t.setEnabled(true);
  s.runFor(1000ms);
  EXPECT_EQ(log, (std::vector<std::string>{"T@1700", "T@2200"}));
}

TEST_F(SchedulerTest, StartingARunningTimerKeepsItsPhase) {
  Timer t(window, "T", s, 1000, true);
  record(t);
  s.runFor(700ms);
  t.setEnabled(true);
  s.runFor(600ms);
  EXPECT_EQ(log, (std::vector<std::string>{"T@1000"}));
}

TEST_F(SchedulerTest, StoppingCancelsAndRestartingBeginsAFreshInterval) {
  Timer t(window, "T", s, 1000, true);
  record(t);
  s.runFor(1500ms);
  t.setEnabled(false);
  s.runFor(3000ms);
  t.setEnabled(true);
  s.runFor(1000ms);
  EXPECT_EQ(log, (std::vector<std::string>{"T@1000", "T@5500"}));
}

TEST_F(SchedulerTest, ANewIntervalAppliesToARunningTimerAtOnce) {
  Timer t(window, "T", s, 1000, true);
  record(t);
  s.runFor(400ms);
  t.setInterval(300);
  s.runFor(700ms);
  EXPECT_EQ(log, (std::vector<std::string>{"T@700", "T@1000"}));
  t.setInterval(300);  // the same interval again starts it afresh
  s.runFor(200ms);
  t.setInterval(300);
  s.runFor(299ms);
  EXPECT_EQ(log.size(), 2u);
  s.runFor(1ms);
  EXPECT_EQ(log.size(), 3u);
  EXPECT_THROW(t.setInterval(65536), std::out_of_range);
  EXPECT_THROW(t.setInterval(-1), std::out_of_range);
}

TEST_F(SchedulerTest, ATimerDueWhileTheThreadIsHeldTicksOnceLateAndKeepsItsPhase) {
  Timer fast(window, "Fast", s, 10, true);
  Timer speaker(window, "Speaker", s, 1000, true);
  int fastTicks = 0;
  fast.onTimer = [&] { ++fastTicks; };
  speaker.onTimer = [&] {
    s.hold(3000ms);  // a three-second utterance
    speaker.setEnabled(false);
  };
  s.runFor(1000ms);  // the speaker ticks at 1000 and holds the thread until 4000
  EXPECT_EQ(at(), 4000);
  int before = fastTicks;
  EXPECT_EQ(before, 100);
  s.runFor(0ms);  // the overdue 10 ms timer ticks once, late
  EXPECT_EQ(fastTicks, before + 1);
  s.runFor(10ms);  // then at its own phase again
  EXPECT_EQ(fastTicks, before + 2);
}

TEST_F(SchedulerTest, TicksDueAtTheSameInstantRunInTheOrderTheTimersWereStarted) {
  Timer b(window, "B", s, 1000, false);
  Timer a(window, "A", s, 1000, false);
  record(a);
  record(b);
  b.setEnabled(true);
  a.setEnabled(true);
  s.runFor(1000ms);
  EXPECT_EQ(log, (std::vector<std::string>{"B@1000", "A@1000"}));
}

TEST_F(SchedulerTest, AnEventDueExactlyAtTheEndOfAWaitRunsWithinIt) {
  Timer t(window, "T", s, 250, true);
  record(t);
  s.runFor(250ms);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(SchedulerTest, PostedMessagesRunBeforeTimersAndProcessPendingRunsWhatIsDue) {
  Timer t(window, "T", s, 100, true);
  record(t);
  s.post([&] { log.push_back("message@" + std::to_string(at())); });
  s.hold(150ms);
  s.processPending();
  EXPECT_EQ(log, (std::vector<std::string>{"message@150", "T@150"}));
  s.processPending();  // nothing more is due
  EXPECT_EQ(log.size(), 2u);
}

TEST_F(SchedulerTest, ATickThatProcessesPendingMessagesDoesNotReenterItself) {
  Timer t(window, "T", s, 100, true);
  int depth = 0, maxDepth = 0, ticks = 0;
  t.onTimer = [&] {
    ++ticks;
    maxDepth = std::max(maxDepth, ++depth);
    s.hold(250ms);
    s.processPending();
    --depth;
  };
  s.runFor(1s);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_GT(ticks, 2);
}

TEST_F(SchedulerTest, HaltStopsEverything) {
  Timer t(window, "T", s, 100, true);
  record(t);
  s.post([&] { log.push_back("message"); });
  s.halt();
  s.runFor(1s);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(at(), 1000);
}

}  // namespace
}  // namespace qm
