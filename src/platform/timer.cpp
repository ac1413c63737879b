#include "platform/timer.h"

#include <stdexcept>

#include "platform/scheduler.h"

namespace qm {

Timer::Timer(Window& window, std::string name, Scheduler& scheduler, int interval, bool enabled)
    : Control(window, std::move(name), ControlKind::Timer), scheduler_(scheduler), interval_(interval) {
  Control::setEnabled(enabled);
  if (running()) scheduler_.armTimer(*this);
}

Timer::~Timer() {
  scheduler_.disarmTimer(*this);
}

void Timer::setInterval(int ms) {
  if (ms < 0 || ms > 65535) throw std::out_of_range("a timer interval is 0 to 65535 ms, not " + std::to_string(ms));
  bool same = ms == interval_;
  interval_ = ms;
  // Setting the interval, even to the value it has, starts a running timer's interval afresh.
  if (running())
    scheduler_.armTimer(*this);
  else
    scheduler_.disarmTimer(*this);
  if (!same) changed();
}

void Timer::setEnabled(bool on) {
  if (on == Enabled()) return;  // starting a running timer keeps its phase
  Control::setEnabled(on);
  if (running())
    scheduler_.armTimer(*this);
  else
    scheduler_.disarmTimer(*this);
}

std::optional<std::string> Timer::property(const std::string& name) const {
  if (name == "Interval") return std::to_string(interval_);
  return Control::property(name);
}

void Timer::tick() {
  if (ticking_ || !running()) return;
  ticking_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{ticking_};
  if (onTimer) onTimer();
}

}  // namespace qm
