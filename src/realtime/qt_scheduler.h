#pragma once
// The real-time scheduler on Qt's event loop (QCoreApplication when headless, QApplication on the desktop): each
// window timer is a QTimer; holding the thread really blocks it, and Qt coalesces the ticks that fell due meanwhile.
//
// A poll timer (Timer::setPollReading) rests after each tick: its reading is kept, and taken again whenever the
// thread has run something (a message, a tick) and before the loop sleeps. Once it differs, the timer ticks at the
// next tick of its own interval grid (counted from when it was started), or at once when the thread was held past
// one, as a late coalesced tick would. An idle program is thus not woken by its polls; the other threads wake it
// by posting when what it polls changes.
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

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
  struct Slot {
    std::unique_ptr<QTimer> qtimer;
    std::chrono::steady_clock::time_point started;  // the interval grid's origin
    std::uint64_t arming = 0;                       // counts arms and disarms, to see one made during a tick
    bool resting = false;                           // a poll waiting for its reading to change
    std::string reading;                            // what the poll's reading gave after its last tick
  };

  void watchLoop();
  void fire(Timer* timer);
  // Wakes each resting poll whose reading has changed.
  void lookAtPolls();
  void wake(Timer& timer, Slot& slot);

  std::atomic<std::chrono::steady_clock::rep> holdTurn_{0};
  QObject context_;
  std::map<Timer*, Slot> timers_;
  std::size_t resting_ = 0;
  bool heldSinceLook_ = false;
  bool watchingLoop_ = false;
  std::string scratch_;
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
