#include "platform/virtual_scheduler.h"

#include <algorithm>

#include "platform/timer.h"

namespace qm {

VirtualScheduler::VirtualScheduler(TimePoint start) : now_(start) {}

void VirtualScheduler::post(std::function<void()> message) {
  if (!halted_) posted_.push_back(std::move(message));
}

void VirtualScheduler::hold(std::chrono::milliseconds duration) {
  if (duration.count() > 0) now_ += duration;
}

void VirtualScheduler::armTimer(Timer& timer) {
  auto interval = std::chrono::milliseconds(timer.Interval());
  for (auto& e : timers_) {
    if (e.timer == &timer) {
      e.due = now_ + interval;
      return;
    }
  }
  timers_.push_back({&timer, now_ + interval, nextOrder_++});
}

void VirtualScheduler::disarmTimer(Timer& timer) {
  std::erase_if(timers_, [&](const Entry& e) { return e.timer == &timer; });
}

void VirtualScheduler::halt() {
  halted_ = true;
  posted_.clear();
  timers_.clear();
}

bool VirtualScheduler::runPostedMessages() {
  bool ran = false;
  while (!posted_.empty() && !halted_) {
    auto message = std::move(posted_.front());
    posted_.pop_front();
    message();
    ran = true;
  }
  return ran;
}

VirtualScheduler::Entry* VirtualScheduler::earliestDue(TimePoint limit) {
  Entry* best = nullptr;
  for (auto& e : timers_) {
    if (e.due > limit || e.timer->ticking()) continue;
    if (!best || e.due < best->due || (e.due == best->due && e.order < best->order)) best = &e;
  }
  return best;
}

void VirtualScheduler::fire(Entry& entry) {
  Timer* timer = entry.timer;
  auto interval = std::chrono::milliseconds(timer->Interval());
  // Coalesce: a timer that fell behind ticks once, and keeps its phase.
  auto next = entry.due + interval;
  if (next <= now_) next += ((now_ - next) / interval + 1) * interval;
  entry.due = next;
  ++ticksRun_;
  timer->tick();  // may disarm, re-arm or destroy timers: `entry` is not used after this
}

void VirtualScheduler::processPending() {
  runPostedMessages();
  // Each timer already due ticks once; timers that fall due during those ticks wait for the loop.
  std::vector<Timer*> due;
  for (auto& e : timers_)
    if (e.due <= now_ && !e.timer->ticking()) due.push_back(e.timer);
  for (Timer* t : due) {
    if (halted_) return;
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const Entry& e) { return e.timer == t; });
    if (it != timers_.end() && it->due <= now_ && !t->ticking()) fire(*it);
  }
}

void VirtualScheduler::runUntil(TimePoint until) {
  while (!halted_) {
    if (runPostedMessages()) continue;
    Entry* e = earliestDue(until);
    if (!e) break;
    if (e->due > now_) now_ = e->due;
    fire(*e);
  }
  if (now_ < until) now_ = until;
}

}  // namespace qm
