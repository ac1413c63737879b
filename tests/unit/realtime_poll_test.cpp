// The real-time scheduler lets a poll rest while what it reads stays the same, and ticks it on its own interval grid
// once another thread has changed that and posted.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/timer.h"
#include "platform/window.h"
#include "realtime/qt_scheduler.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

class TestWindow : public Window {
 public:
  explicit TestWindow(Registry& r) : Window(r, "Test", "") {}
  void closeRequest() override {}
};

TEST(RealtimePoll, RestsWhileItsReadingStaysAndTicksOnItsGridOnceItChanges) {
  int argc = 1;
  char name[] = "realtime_poll_test";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  QtScheduler scheduler;
  Registry registry;
  TestWindow window(registry);

  std::atomic<int> state{0};  // published by another thread, as the radio node publishes CarrierState
  int shown = -1;
  std::vector<Steady::time_point> ticks;
  const auto before = Steady::now();
  Timer poll(window, "Poll", scheduler, 10, true);
  const auto after = Steady::now();
  poll.onTimer = [&] {
    shown = state.load();
    ticks.push_back(Steady::now());
  };
  poll.setPollReading([&](std::string& out) { out = std::to_string(state.load()) + "/" + std::to_string(shown); });

  runEventLoopFor(300ms);
  ASSERT_EQ(shown, 0);
  EXPECT_LE(ticks.size(), 2u) << "a poll whose reading stays the same ticked on";

  Steady::time_point changedAt;
  std::thread node([&] {
    changedAt = Steady::now();
    state = 1;
    scheduler.post([] {});
  });
  node.join();
  const std::size_t ticksBefore = ticks.size();
  for (auto end = Steady::now() + 5s; shown != 1 && Steady::now() < end;) runEventLoopFor(5ms);
  ASSERT_EQ(shown, 1) << "the poll did not wake for the change";
  // The grid started between `before` and `after`: the tick comes no earlier than its next point after the change.
  const auto interval = 10ms;
  const auto sinceStart = changedAt - after;
  const auto earliest = before + (sinceStart / interval + 1) * interval;
  if (sinceStart % interval + (after - before) < interval - 1ms) {
    EXPECT_GE(ticks.at(ticksBefore), earliest);
  }
}

}  // namespace
}  // namespace qm
