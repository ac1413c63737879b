#pragma once
// The thread's clock, its window timers and its message loop. Logic asks the Scheduler it was given for the time
// and for timers; VirtualScheduler runs on a virtual clock, the Qt scheduler on the wall clock.
#include <chrono>
#include <functional>

namespace qm {

class Timer;

class Scheduler {
 public:
  using Clock = std::chrono::system_clock;
  using TimePoint = Clock::time_point;

  virtual ~Scheduler() = default;

  // The current date and time (local time as the program shows it).
  virtual TimePoint now() const = 0;

  // Queue a message for the loop; it runs after the current handler returns.
  virtual void post(std::function<void()> message) = 0;

  // Run the messages and timer ticks that are already waiting, then return (a handler yielding to the loop).
  virtual void processPending() = 0;

  // The thread is busy for `duration` in a synchronous operation (speech): nothing else runs meanwhile, and a timer
  // that came due ticks once, late, afterwards.
  virtual void hold(std::chrono::milliseconds duration) = 0;

  // Timer plumbing, used by Timer only: arm puts the first tick one full interval from now.
  virtual void armTimer(Timer& timer) = 0;
  virtual void disarmTimer(Timer& timer) = 0;
};

}  // namespace qm
