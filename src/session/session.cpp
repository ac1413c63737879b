#include "session/session.h"

#include <stdexcept>

#include "app/frm_main.h"
#include "echolink/air_recording.h"
#include "echolink/morse.h"
#include "echolink/simulated_node.h"
#include "platform/scheduler.h"


namespace qm {

void runUntilEnded(const std::function<void()>& body) {
  try {
    body();
  } catch (const ProgramEnded&) {
  }
}

Session::Session(Scheduler& scheduler, Folders folders, std::ostream* out, const ExitFactory& makeExit,
                 std::unique_ptr<InstanceLock> lock, Prompter* boxes, const NodeFactory& makeNode)
    : transcript(scheduler, out),
      prompter(transcript),
      ownedNode_(makeNode ? makeNode(scheduler, transcript) : std::make_unique<SimulatedNode>(transcript)),
      node(*ownedNode_),
      instanceLock(std::move(lock)),
      exit(makeExit(*this)),
      skype(windowSystem, scheduler, transcript),
      backends{scheduler,  boxes ? *boxes : prompter, *exit, transmitInhibit, *instanceLock,
               transcript, std::move(folders)},
      estimateVoice(scheduler),
      voice(transcript, &estimateVoice) {
  backends.inhibit = &transmitInhibit;
  backends.voice = &voice;
  backends.http = &httpRecorder;
  backends.windowSystem = &windowSystem;
  backends.bell = &bell;
  // Morse that the simulated node sends goes into the air recording, when one is made, with a word space after it.
  // A real node records what it sends itself.
  if (dynamic_cast<SimulatedNode*>(&node))
    node.onCW = [this](const std::string& text) {
      if (!backends.air) return;
      backends.air->append(renderMorse(text, backends.air->sampleRate()));
      backends.air->appendSilence(std::chrono::milliseconds(420));
    };
}

Session::~Session() = default;

void Session::start() {
  if (program_) throw std::logic_error("the program has already started");
  if (simulatedSkype) skype.launch();  // Skype is running before the program starts
  program_ = std::make_unique<Program>(backends);
  if (onProgramCreated) onProgramCreated(*program_);
  for (auto& extension : extensions_) extension->programCreated(*program_);
  bool goesOn = false;
  runUntilEnded([&] {
    program_->start();
    goesOn = true;
  });
  if (goesOn)
    for (auto& extension : extensions_) extension->programStarted();
}

void Session::programEnded() {
  node.setDeaf(true);
  skype.setDeaf(true);
  for (auto& extension : extensions_) extension->programEnded();
}

Program& Session::program() {
  if (!program_) throw std::logic_error("the program has not started yet");
  return *program_;
}

}  // namespace qm
