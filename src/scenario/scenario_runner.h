#pragma once
// Runs a scenario file in virtual time (or on the wall clock when asked): set-up, actions and expectations as the
// scenario language defines them.
// Exit status: 0 every expectation held, 1 one failed, 2 the script is wrong.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace qm {

class Scheduler;
class Voice;
class AirRecording;
class Session;
class InjectableNode;
class OutputLog;

struct ScenarioOptions {
  std::filesystem::path script;
  std::optional<std::filesystem::path> home;     // kept after the run when given
  std::optional<std::filesystem::path> machine;  // likewise
  std::optional<std::string> callsign;           // the node's callsign; unset: the node's own (N0CALL-L when simulated)
  std::ostream* transcript = nullptr;            // where the transcript goes; null for none
  std::ostream* errors = nullptr;                // where failures are explained
  // The voice engine, made on the run's virtual scheduler; none means the estimate voice.
  std::function<std::unique_ptr<Voice>(Scheduler&)> makeVoice;
  AirRecording* air = nullptr;  // the air recording, if one is made
  std::string reportUrl;        // where the recorded usage report says it goes; empty for the default
  bool noReport = false;        // no usage report at all
  // Real time: the scheduler on the wall clock, and how to let a time pass on it (the event loop runs that long).
  // Unset: virtual time.
  Scheduler* realTime = nullptr;
  std::function<void(std::chrono::milliseconds)> passTime;
  // Called with the session before the script runs, to plug in more backends (the SIP client).
  std::function<void(Session&)> prepare;
  // Asked after each line: why the run was stopped from outside (a signal), or empty. A stopped run ends there with
  // status 1, as the expectations after it were not checked.
  std::function<std::string()> stopReason;
  // The node the program talks to (real time only); unset: the simulated node.
  std::function<std::unique_ptr<InjectableNode>(Scheduler&, OutputLog&)> makeNode;
};

int runScenario(const ScenarioOptions& options);

}  // namespace qm
