#pragma once
// One run of the program, in every mode: the program with the node it is handed (the simulated node unless told
// otherwise), the telephone, the voice, the transcript and the recording backends, on the scheduler it is given. The
// scenario language's actions (scenario/session_actions.h) drive it: the scenario runner in virtual time, the headless
// console and the node simulator in real time; the node actions (dtmf, carrier, ...) act on whichever node runs.
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/backends.h"
#include "app/program.h"
#include "echolink/injectable_node.h"
#include "echolink/transmit_inhibit.h"
#include "platform/instance_lock.h"
#include "platform/program_exit.h"
#include "platform/window_system.h"
#include "report/recording_http_client.h"
#include "session/recording_bell.h"
#include "session/recording_prompter.h"
#include "session/transcript.h"
#include "skype/simulated_skype.h"
#include "speech/estimate_voice.h"
#include "speech/recording_voice.h"

namespace qm {

class Program;

// A backend plugged into a session from outside (the SIP client, the radio node): told when the program has been
// created (before its load runs), when its load has passed, and when it has ended. Owned by the session, destroyed
// before the program.
class SessionExtension {
 public:
  virtual ~SessionExtension() = default;
  virtual void programCreated(Program&) {}
  // The program's load has run and the program goes on (its start-up checks passed).
  virtual void programStarted() {}
  virtual void programEnded() {}
};

class Session {
 public:
  // `exit` ends the program; `lock` tells of another running copy; `boxes`, when given, shows the message boxes
  // instead of the recording prompter (the desktop's real boxes).
  // `makeNode` gives the node the program talks to, on the program's scheduler, writing to the transcript; unset:
  // the simulated node.
  using ExitFactory = std::function<std::unique_ptr<ProgramExit>(Session&)>;
  using NodeFactory = std::function<std::unique_ptr<InjectableNode>(Scheduler&, OutputLog&)>;
  Session(Scheduler& scheduler, Folders folders, std::ostream* out, const ExitFactory& makeExit,
          std::unique_ptr<InstanceLock> lock, Prompter* boxes = nullptr, const NodeFactory& makeNode = {});
  ~Session();

  // The program's load (once).
  void start();
  bool started() const { return program_ != nullptr; }
  // The program, once started.
  Program& program();

  Transcript transcript;
  RecordingPrompter prompter;

 private:
  std::unique_ptr<InjectableNode> ownedNode_;

 public:
  InjectableNode& node;
  // Between the program and the node: the program's instances come from here (backends.node).
  TransmitInhibit transmitInhibit{node};
  std::unique_ptr<InstanceLock> instanceLock;
  std::unique_ptr<ProgramExit> exit;
  WindowSystem windowSystem;  // the desktop the program and the simulated Skype share
  SimulatedSkype skype;
  Backends backends;
  // The voice (backends.voice): every utterance is written to the transcript, then spoken by the estimate voice
  // unless useVoice chose another engine.
  EstimateVoice estimateVoice;
  RecordingVoice voice;
  void useVoice(Voice& engine) { voice.setTarget(&engine); }
  // The usage report is recorded, never sent; whoever runs the session in real time may install a real client.
  RecordingHttpClient httpRecorder{transcript};
  RecordingBell bell{transcript};

  // Scenario actions of backends that plug in (the SIP client): return true when handled.
  std::vector<std::function<bool(const std::vector<std::string>&)>> extraActions;
  // Told once the program exists, before its load runs: the desktop attaches its window views here.
  std::function<void(Program&)> onProgramCreated;

  // False when another backend plays the Skype client: the simulated one is then never launched.
  bool simulatedSkype = true;
  void addExtension(std::unique_ptr<SessionExtension> extension) { extensions_.push_back(std::move(extension)); }
  // The first extension of type T, or null.
  template <class T>
  T* extension() {
    for (auto& e : extensions_)
      if (auto* t = dynamic_cast<T*>(e.get())) return t;
    return nullptr;
  }
  // The program has ended: the node, the simulated Skype client and every extension fall silent.
  void programEnded();

 private:
  std::unique_ptr<Program> program_;
  std::vector<std::unique_ptr<SessionExtension>> extensions_;  // destroyed before the program
};

// Runs `body`, turning the program's end into a normal return.
void runUntilEnded(const std::function<void()>& body);

}  // namespace qm
