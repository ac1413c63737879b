// The timers that run while the program idles: started on the simulated node and Skype client, connected to Skype,
// ten seconds of virtual time, then the interval of every running window timer that wakes an idle real-time program
// (polls rest while what they poll stays the same), in milliseconds, on one line. The benchmark script hands them to
// qt_timer_floor, so that the floor runs exactly the set of timers that wakes the program.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "platform/instance_lock.h"
#include "platform/timer.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const std::filesystem::path folder = pattern;
  {
    qm::VirtualScheduler scheduler(qm::Scheduler::TimePoint{});
    qm::Session session(
        scheduler, qm::Folders{folder, folder}, nullptr,
        [&](qm::Session& s) { return std::make_unique<qm::ScenarioExit>(s.transcript, [&] { scheduler.halt(); }); },
        std::make_unique<qm::FixedInstanceLock>(false));
    session.transcript.setKeeping(false);
    session.start();
    scheduler.runFor(std::chrono::seconds(10));
    qm::Registry& registry = session.program().registry();
    int count = 0;
    for (const std::string& name : registry.windowNames()) {
      qm::Window* window = registry.find(name);
      if (!window) continue;
      for (qm::Control* c : window->controls()) {
        auto* timer = dynamic_cast<qm::Timer*>(c);
        if (!timer || !timer->running()) continue;
        if (timer->pollReading()) {  // rests on the real-time loop while what it polls stays the same
          std::fprintf(stderr, "resting: %s.%s every %d ms\n", name.c_str(), timer->name().c_str(), timer->Interval());
          continue;
        }
        std::printf("%s%d", count++ ? " " : "", timer->Interval());
        std::fprintf(stderr, "running: %s.%s every %d ms\n", name.c_str(), timer->name().c_str(), timer->Interval());
      }
    }
    std::printf("\n");
  }
  std::filesystem::remove_all(folder);
  return 0;
}
