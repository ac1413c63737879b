#include "launch/service_manager.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

#include "launch/launch.h"
#include "launch/radio_module.h"
#include "realtime/qt_scheduler.h"

namespace qm {

namespace {

constexpr std::size_t kStatusLength = 400;  // a status line stays one readable line in systemctl status

// The status line's text: one line, printable, bounded (a problem may quote what came from outside).
std::string statusText(const std::string& text) {
  std::string line;
  for (char c : text.substr(0, kStatusLength)) line.push_back(static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
  return line;
}

}  // namespace

ServiceManager::ServiceManager(QtScheduler& scheduler, Session& session) : scheduler_(scheduler) {
  RadioModule* radio = radioModuleOf(session);
  nodeLoop_ = radio != nullptr;
  const char* socket = std::getenv("NOTIFY_SOCKET");
  notify_ = socket != nullptr && *socket != 0;
  if (!notify_) return;
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) watchdog_ = std::chrono::microseconds(usec);
  // The latest problem in the status line, where `systemctl status` shows it.
  listenForProblems([this](const std::string& problem) {
    std::lock_guard hold(statusLock_);
    sd_notifyf(0, "STATUS=%s",
               statusText(status_.empty() ? problem : status_ + "; latest problem: " + problem).c_str());
  });
  if (watchdog_.count() == 0) return;
  // The program's thread stamps its turns four times an interval; the pings go out as often.
  const auto quarter = std::chrono::duration_cast<std::chrono::milliseconds>(watchdog_ / 4);
  programTick_.setInterval(std::max<int>(10, static_cast<int>(quarter.count())));
  QObject::connect(&programTick_, &QTimer::timeout, [this] {
    const auto now = Clock::now();
    programTurn_ = now.time_since_epoch().count();
    if (!nodeLoop_) ping(now);
  });
  programTick_.start();
  programTurn_ = Clock::now().time_since_epoch().count();
  if (radio) radio->watchNodeLoop(session, [this] { nodeAlive(); });
}

ServiceManager::~ServiceManager() {
  if (notify_) listenForProblems(nullptr);
}

void ServiceManager::ready(const std::string& status) {
  if (!notify_) return;
  std::lock_guard hold(statusLock_);
  status_ = statusText(status);
  sd_notifyf(0, "READY=1\nSTATUS=%s", status_.c_str());
}

bool ServiceManager::programAlive(Clock::time_point now) const {
  const Clock::time_point turn{Clock::duration(programTurn_.load())};
  const Clock::time_point last = std::max(turn, scheduler_.lastHoldTurn());
  return now - last < watchdog_ / 2;
}

void ServiceManager::nodeAlive() {
  const auto now = Clock::now();
  if (programAlive(now)) ping(now);
}

void ServiceManager::ping(Clock::time_point now) {
  if (now - lastPing_ < watchdog_ / 4) return;
  lastPing_ = now;
  sd_notify(0, "WATCHDOG=1");
}

}  // namespace qm
