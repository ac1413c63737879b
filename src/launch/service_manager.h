#pragma once
// The service manager told how the node stands, when systemd started the program as a Type=notify service
// (NOTIFY_SOCKET set): READY=1 once the node is on the air, STATUS= lines (what runs, the latest problem), and the
// watchdog's WATCHDOG=1 pings when the unit has WatchdogSec= (WATCHDOG_USEC set).
//
// The pings go out only while both threads that matter are alive: the program's (its event loop turns, or it holds
// for an utterance, which is bounded) and, with the radio node, the node's (its loop turns every 20 ms; the pings are
// sent from there). A hung program or a hung node stops them; systemd then kills the program, and the unit's
// ExecStopPost releases the transmitter. Without NOTIFY_SOCKET nothing is sent and nothing runs.
#include <QTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

namespace qm {

class QtScheduler;
class Session;

class ServiceManager {
 public:
  // Hooks the radio node's loop (with the simulated node the program's thread pings itself); before the node starts.
  ServiceManager(QtScheduler& scheduler, Session& session);
  ~ServiceManager();

  // The node is on the air: READY=1, and `status` as the service's status line.
  void ready(const std::string& status);
  // The watchdog's interval (WATCHDOG_USEC); zero without one.
  std::chrono::microseconds watchdog() const { return watchdog_; }

 private:
  using Clock = std::chrono::steady_clock;
  void nodeAlive();  // the node's thread
  bool programAlive(Clock::time_point now) const;
  void ping(Clock::time_point now);

  QtScheduler& scheduler_;
  bool nodeLoop_ = false;  // the radio node's loop sends the pings
  bool notify_ = false;
  std::chrono::microseconds watchdog_{0};
  QTimer programTick_;
  std::atomic<Clock::rep> programTurn_{0};
  Clock::time_point lastPing_{};  // the pinging thread's own
  std::mutex statusLock_;         // problems are told from any thread
  std::string status_;
};

}  // namespace qm
