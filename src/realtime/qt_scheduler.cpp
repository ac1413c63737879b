#include "realtime/qt_scheduler.h"

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

QtScheduler::QtScheduler() = default;
QtScheduler::~QtScheduler() = default;

void QtScheduler::post(std::function<void()> message) {
  QMetaObject::invokeMethod(
      &context_, [m = std::move(message)] { runGuarded("message", m); }, Qt::QueuedConnection);
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
}

void QtScheduler::armTimer(Timer& timer) {
  auto& slot = timers_[&timer];
  if (!slot) {
    slot = std::make_unique<QTimer>();
    slot->setTimerType(Qt::PreciseTimer);
    Timer* t = &timer;
    QObject::connect(slot.get(), &QTimer::timeout, &context_,
                     [t] { runGuarded(t->name().c_str(), [t] { t->tick(); }); });
  }
  slot->start(timer.Interval());  // (re)starts: the first tick one full interval from now
}

void QtScheduler::disarmTimer(Timer& timer) {
  auto it = timers_.find(&timer);
  if (it != timers_.end()) it->second->stop();
}

}  // namespace qm
