#pragma once
// Deterministic scheduler on a virtual clock, for scenarios, tests and benchmarks. Time passes only in runFor/runUntil
// and hold; ticks due at the same instant run in the order their timers were started, posted messages first.
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/scheduler.h"

namespace qm {

class VirtualScheduler : public Scheduler {
 public:
  explicit VirtualScheduler(TimePoint start);

  TimePoint now() const override { return now_; }
  void post(std::function<void()> message) override;
  void processPending() override;
  void hold(std::chrono::milliseconds duration) override;
  void armTimer(Timer& timer) override;
  void disarmTimer(Timer& timer) override;

  // Let virtual time pass up to `until`, running every message and tick that falls due; one due exactly at `until`
  // runs too.
  void runUntil(TimePoint until);
  void runFor(std::chrono::milliseconds duration) { runUntil(now_ + duration); }

  // Stop running anything: the program has ended.
  void halt();
  bool halted() const { return halted_; }

  std::uint64_t ticksRun() const { return ticksRun_; }

 private:
  struct Entry {
    Timer* timer;
    TimePoint due;
    std::uint64_t order;  // when it was started: ties at one instant run in this order
  };

  bool runPostedMessages();
  Entry* earliestDue(TimePoint limit);
  void fire(Entry& entry);

  TimePoint now_;
  std::deque<std::function<void()>> posted_;
  std::vector<Entry> timers_;
  std::uint64_t nextOrder_ = 0;
  std::uint64_t ticksRun_ = 0;
  bool halted_ = false;
};

}  // namespace qm
