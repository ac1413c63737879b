#pragma once
// A window timer. Interval 0 never ticks; starting a stopped timer puts its first tick one full interval later;
// starting a running timer changes nothing; stopping cancels; setting the interval of a running timer (even to the
// same value) starts its interval afresh.
#include <functional>
#include <string>

#include "platform/control.h"

namespace qm {

class Scheduler;

class Timer : public Control {
 public:
  Timer(Window& window, std::string name, Scheduler& scheduler, int interval, bool enabled);
  ~Timer() override;

  int Interval() const { return interval_; }
  void setInterval(int ms);  // whole milliseconds, 0 to 65535; throws std::out_of_range outside that
  void setEnabled(bool on) override;
  bool running() const { return Enabled() && interval_ > 0; }

  std::string value() const override { return Enabled() ? "1" : "0"; }
  std::optional<std::string> property(const std::string& name) const override;

  std::function<void()> onTimer;  // the control's Timer event

  // Marks the timer a poll. `reading` writes into its string everything the tick reads and everything it sets; a
  // tick that finds them as a previous tick left them changes nothing. A real-time scheduler may then let the timer
  // rest while the reading stays the same and, once it differs, tick it at the next tick of its interval; the
  // virtual scheduler ticks it on every interval like any timer. The reading runs on the program's thread, between
  // handlers, and must not throw.
  using Reading = std::function<void(std::string&)>;
  void setPollReading(Reading reading) { pollReading_ = std::move(reading); }
  const Reading& pollReading() const { return pollReading_; }

  // Called by the scheduler when the timer is due.
  void tick();
  bool ticking() const { return ticking_; }

 private:
  Scheduler& scheduler_;
  int interval_;
  bool ticking_ = false;
  Reading pollReading_;
};

}  // namespace qm
