// A simulated 24-hour day of a busy node, in virtual time: every window's timers running all day (the 10 ms
// displays included), 500 RF transmissions (kerchunks among them), internet audio, 50 calls requested by DTMF,
// confirmed, answered and hung up, 100 station connects and disconnects announced, and a CW identification every
// 15 minutes. Prints the CPU time the day took (a "figure" line for scripts/bench.sh); the budget is 2 seconds.
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/instance_lock.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"

using namespace qm;
using namespace std::chrono_literals;

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::filesystem::path tempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path home = tempFolder(), machine = tempFolder();
  std::ofstream(home / "quillmere.ini") << "[SETTINGS]\r\nCheck1=1\r\n";
  // --access: the same day under dial rules and call limits that let every call of the day through.
  const bool access = argc > 1 && std::string(argv[1]) == "--access";
  if (access)
    std::ofstream(home / "quillmere_dialrules.ini")
        << "[SETTINGS]\r\nDefault=deny\r\nCallsPerHour=100\r\nLongestCallMinutes=60\r\n[RULES]\r\nalways 911\r\n"
           "deny 1900*\r\ndeny 011*\r\nallow *\r\n";
  std::ofstream(machine / "quillmere_courtsey.ini") << "[SETTINGS]\r\nSTOPCLOCK7=1\r\nBEACONPERIOD7=15\r\n";

  const Scheduler::TimePoint start{};
  VirtualScheduler scheduler(start);
  Session session(
      scheduler, Folders{home, machine}, nullptr,
      [&](Session& s) { return std::make_unique<ScenarioExit>(s.transcript, [&] { scheduler.halt(); }); },
      std::make_unique<FixedInstanceLock>(false));
  session.transcript.setKeeping(false);
  session.skype.setAutoAnswer(std::nullopt);
  long letters = 0, idents = 0, calls = 0;
  session.node.onCW = [&](const std::string& text) { text == "Your Call" ? ++idents : ++letters; };

  const double before = cpuSeconds();
  session.start();
  const auto day = std::chrono::duration_cast<std::chrono::milliseconds>(24h);
  const int transmissions = 500;
  const auto spacing = day / transmissions;
  for (int i = 0; i < transmissions; ++i) {
    const auto t = start + spacing * i;
    scheduler.runUntil(t);
    // Lengths from 1 s (a kerchunk) to 45 s; every fifth transmission answered by internet audio.
    session.node.setCarrier(true);
    scheduler.runUntil(t + std::chrono::seconds(1 + (i * 7) % 45));
    session.node.setCarrier(false);
    if (i % 5 == 0) {
      scheduler.runUntil(t + 50s);
      session.node.setRx(true);
      scheduler.runUntil(t + 80s);
      session.node.setRx(false);
      session.node.connect(i % 2 ? "*IRELAND*" : "W1AW-L", "Op", "10.0.0.7");
      scheduler.runUntil(t + 90s);
      session.node.disconnect(i % 2 ? "*IRELAND*" : "W1AW-L");
    }
    if (i % 10 == 5) {
      // A call: requested, confirmed, answered, two minutes long, hung up from the radio.
      scheduler.runUntil(t + 60s);
      session.node.dtmf("*#00155512" + std::to_string(i));
      session.node.dtmf("A");
      runAction(session, {"skype", "answer"});
      scheduler.runUntil(t + 180s);
      session.node.dtmf("DD");
      ++calls;
    }
  }
  scheduler.runUntil(start + day);
  const double cpu = cpuSeconds() - before;

  std::fprintf(stderr,
               "simulated day: %.3f s CPU for 24 h virtual (budget 2 s); %llu timer ticks; %ld courtesy letters, "
               "%ld identifications, %ld calls\n",
               cpu, static_cast<unsigned long long>(scheduler.ticksRun()), letters, idents, calls);
  if (access) {
    const std::string log = namedControl(session, "FormHistory.CallHistory").value();
    std::size_t refused = 0;
    for (std::size_t at = log.find("Refused"); at != std::string::npos; at = log.find("Refused", at + 1)) ++refused;
    std::fprintf(stderr, "access control on: %zu calls refused\n", refused);
  }
  std::printf("figure\tsimulated busy 24-hour day, virtual time (%ld calls, %ld idents%s)\t%.3f s CPU\t< 2 s\t%s\n",
              calls, idents, access ? ", access control on" : "", cpu, cpu < 2 ? "met" : "OVER BUDGET");
  std::filesystem::remove_all(home);
  std::filesystem::remove_all(machine);
  return 0;
}
