#include "realtime/qt_scheduler.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <thread>

#include "platform/program_exit.h"
#include "platform/timer.h"
#include "realtime/signal_watch.h"

namespace qm {

namespace {
std::function<void()>& faultHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void setFaultHook(std::function<void()> hook) {
  faultHook() = std::move(hook);
}

void runGuarded(const char* what, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const ProgramEnded&) {
    QCoreApplication::exit(0);
  } catch (const std::exception& e) {
    std::cerr << "quillmere: " << what << ": " << e.what() << std::endl;
    if (faultHook()) faultHook()();
  }
}

void runEventLoopFor(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(std::min<long long>(duration.count(), INT32_MAX)), Qt::PreciseTimer, &loop,
                     &QEventLoop::quit);
  loop.exec();
}

QtScheduler::QtScheduler() {
  watchLoop();
}

QtScheduler::~QtScheduler() = default;

void QtScheduler::watchLoop() {
  if (watchingLoop_) return;
  auto* dispatcher = QAbstractEventDispatcher::instance();
  if (!dispatcher) return;
  // Whatever ran on the thread (a console line, a window's edit, a socket) is looked at before the loop sleeps.
  QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &context_, [this] { lookAtPolls(); });
  watchingLoop_ = true;
}

void QtScheduler::post(std::function<void()> message) {
  QMetaObject::invokeMethod(
      &context_,
      [this, m = std::move(message)] {
        runGuarded("message", m);
        lookAtPolls();
      },
      Qt::QueuedConnection);
}

void QtScheduler::processPending() {
  QCoreApplication::processEvents();
}

void QtScheduler::hold(std::chrono::milliseconds duration) {
  // A stop signal cuts the hold short, so the node closes at once instead of after the utterance.
  auto end = std::chrono::steady_clock::now() + duration;
  while (!stopRequested()) {
    const auto now = std::chrono::steady_clock::now();
    holdTurn_ = now.time_since_epoch().count();
    auto left = end - now;
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(20)));
  }
  heldSinceLook_ = true;
}

void QtScheduler::armTimer(Timer& timer) {
  watchLoop();
  Slot& slot = timers_[&timer];
  if (!slot.qtimer) {
    slot.qtimer = std::make_unique<QTimer>();
    slot.qtimer->setTimerType(Qt::PreciseTimer);
    Timer* t = &timer;
    QObject::connect(slot.qtimer.get(), &QTimer::timeout, &context_, [this, t] { fire(t); });
  }
  if (slot.resting) {
    slot.resting = false;
    --resting_;
  }
  ++slot.arming;
  slot.started = std::chrono::steady_clock::now();
  // A poll is ticked by single shots on its grid, so that it can rest between them; other timers repeat.
  slot.qtimer->setSingleShot(static_cast<bool>(timer.pollReading()));
  slot.qtimer->start(timer.Interval());  // (re)starts: the first tick one full interval from now
}

void QtScheduler::disarmTimer(Timer& timer) {
  auto it = timers_.find(&timer);
  if (it == timers_.end()) return;
  Slot& slot = it->second;
  slot.qtimer->stop();
  ++slot.arming;
  if (slot.resting) {
    slot.resting = false;
    --resting_;
  }
}

void QtScheduler::fire(Timer* timer) {
  const std::uint64_t arming = timers_[timer].arming;
  runGuarded(timer->name().c_str(), [timer] { timer->tick(); });
  // The tick may have stopped, restarted or destroyed its timer: then its slot's arming count has moved on.
  auto it = timers_.find(timer);
  if (it != timers_.end() && it->second.arming == arming && timer->running() && timer->pollReading()) {
    // The tick has set what its reading shows, so another tick on the same reading would change nothing: rest.
    Slot& slot = it->second;
    slot.qtimer->stop();
    slot.qtimer->setSingleShot(true);
    timer->pollReading()(slot.reading);
    if (!slot.resting) ++resting_;  // (a nested loop inside the tick may have let it rest already)
    slot.resting = true;
  }
  lookAtPolls();
}

void QtScheduler::lookAtPolls() {
  if (resting_ > 0) {
    for (auto& [timer, slot] : timers_) {
      if (!slot.resting) continue;
      timer->pollReading()(scratch_);
      if (scratch_ != slot.reading) wake(*timer, slot);
    }
  }
  heldSinceLook_ = false;
}

void QtScheduler::wake(Timer& timer, Slot& slot) {
  using namespace std::chrono;
  slot.resting = false;
  --resting_;
  const auto interval = milliseconds(timer.Interval());
  const auto now = steady_clock::now();
  // The next tick of the timer's own grid; after a hold, at once, as the tick that fell due in it would run late.
  steady_clock::duration wait{};
  if (!heldSinceLook_) wait = slot.started + ((now - slot.started) / interval + 1) * interval - now;
  slot.qtimer->start(static_cast<int>(ceil<milliseconds>(wait).count()));
}

}  // namespace qm
