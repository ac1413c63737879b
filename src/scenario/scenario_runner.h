#pragma once
// Runs a scenario file in virtual time: set-up, actions and expectations as the scenario language defines them.
// Exit status: 0 every expectation held, 1 one failed, 2 the script is wrong.
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

struct ScenarioOptions {
  std::filesystem::path script;
  std::optional<std::filesystem::path> home;     // kept after the run when given
  std::optional<std::filesystem::path> machine;  // likewise
  std::string callsign = "N0CALL-L";
  std::ostream* transcript = nullptr;  // where the transcript goes; null for none
  std::ostream* errors = nullptr;      // where failures are explained
  // The voice engine, made on the run's virtual scheduler; none means the estimate voice.
  std::function<std::unique_ptr<Voice>(Scheduler&)> makeVoice;
  AirRecording* air = nullptr;  // the air recording, if one is made
  std::string reportUrl;               // where the recorded usage report says it goes; empty for the default
  bool noReport = false;               // no usage report at all
};

int runScenario(const ScenarioOptions& options);

}  // namespace qm
