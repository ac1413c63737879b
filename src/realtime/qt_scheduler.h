#pragma once
// The real-time scheduler on Qt's event loop (QCoreApplication when headless, QApplication on the desktop): each
// window timer is a QTimer; holding the thread really blocks it, and Qt coalesces the ticks that fell due meanwhile.
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>

#include "platform/scheduler.h"

namespace qm {

class QtScheduler : public Scheduler {
 public:
  QtScheduler();
  ~QtScheduler() override;

  TimePoint now() const override { return Clock::now(); }
  // Safe from any thread (the radio node posts its events from its own): a queued call into this thread's loop.
  void post(std::function<void()> message) override;
  void processPending() override;
  void hold(std::chrono::milliseconds duration) override;
  void armTimer(Timer& timer) override;
  void disarmTimer(Timer& timer) override;
  // The last turn of a hold (an utterance): the thread is busy on purpose, not hung. Any thread.
  std::chrono::steady_clock::time_point lastHoldTurn() const {
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(holdTurn_.load()));
  }

 private:
  std::atomic<std::chrono::steady_clock::rep> holdTurn_{0};
  QObject context_;
  std::map<Timer*, std::unique_ptr<QTimer>> timers_;
};

// Lets `duration` of wall-clock time pass with the event loop running (a real-time scenario's wait); returns early
// when the program ends.
void runEventLoopFor(std::chrono::milliseconds duration);

// Runs one handler from the event loop: an error that escapes it is reported on standard error instead of ending
// the program, and the fault hook runs.
void runGuarded(const char* what, const std::function<void()>& handler);
// Run after an error escaped a handler, which may have keyed the transmitter and never reached its release.
void setFaultHook(std::function<void()> hook);

}  // namespace qm
