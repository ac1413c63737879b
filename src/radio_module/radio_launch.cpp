#include "radio_module/radio_launch.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "control/announce.h"
#include "echolink_net/echolink_net_settings.h"
#include "echolink_net/echolink_settings_window.h"
#include "echolink_net/network_link.h"
#include "history/history_log.h"
#include "launch/launch.h"
#include "radio/jack_server_process.h"
#include "radio/lines.h"
#include "radio/radio_node.h"
#include "radio/radio_settings.h"
#include "radio/radio_settings_window.h"
#include "realtime/qt_scheduler.h"
#include "realtime/real_exit.h"
#include "realtime/signal_watch.h"

namespace qm {

namespace {

// How long the start waits for JACK: a JackServer it starts has ten seconds to come up.
constexpr std::chrono::seconds kAudioWait{12};

class RadioExtension : public SessionExtension {
 public:
  RadioExtension(Session& session, radio::RadioNode& node) : session_(session), node_(node) {
    setFaultHook([this] { node_.releaseAfterFault(); });
  }
  ~RadioExtension() override { setFaultHook(nullptr); }

  void programCreated(Program& program) override {
    program.backends().startNode = [this] { startNode(); };
    auto path = session_.backends.folders.home / radio::kRadioSettingsFile;
    std::vector<std::string> problems;
    radio::RadioSettings settings = radio::readRadioSettings(path, problems);
    for (const auto& p : problems) reportProblem(p);
    node_.configure(settings);
    // The node opens its lines once, at start: saved settings are used from the next start on.
    radio::addRadioSettingsWindow(program, [&program] {
      program.backends().prompter.show("The radio settings were saved. They take effect when Quillmere starts again.",
                                       "", BoxIcon::Information, BoxButtons::Ok);
    });
    // The EchoLink network, when its settings enable it; it is read again on the node's thread as it starts.
    auto echoLinkFile = session_.backends.folders.inProgramFolder(echolink_net::kEchoLinkSettingsFile);
    std::vector<std::string> echoLinkProblems;
    if (!echolink_net::readEchoLinkSettings(echoLinkFile, echoLinkProblems).enabled) {
      // Read again by the network when it is enabled; otherwise this is the only time anyone hears of them.
      for (const auto& p : echoLinkProblems) reportProblem(p);
      return;
    }
    radio::RadioNode* node = &node_;
    node_.makeNetwork = echolink_net::echoLinkNetworkFactory(echoLinkFile, [node] { return node->callsign(); });
    // With one-time codes guarding the radio, the node's own functions (connect, disconnect) follow DTMF control as
    // the program's commands do: while it is off, every string is the program's and the network takes none.
    node_.isProgramCode = [&program](const std::string& digits) {
      return program.main().isDtmfCode(digits) ||
             (program.access().oneTimeCodes() && program.main().Check1.Value() != 1);
    };
    node_.onAnnounce = [&program](const std::string& text) { announce(program, text); };
    addEchoLinkSettingsWindow(program, [node] { node->rebuildNetwork(); });
  }

  // Run by the load once its checks have passed, before it announces or keys anything.
  void startNode() {
    std::string error;
    if (node_.start(error, true)) {
      // The load's announcement goes on the air only once JACK has answered, or its trouble has been told.
      if (auto problem = node_.awaitAudio(kAudioWait)) reportProblem(*problem);
      return;
    }
    // A radio node that cannot reach its lines does not run: nothing is keyed, and a person hears why (on the
    // desktop in a box, answered before the program ends, rather than a window that vanishes).
    reportError(error);
    radio::releaseAllPttLinesNow();
    session_.program().backends().prompter.show(error, "", BoxIcon::Critical, BoxButtons::Ok);
    radio::endStartedJackServersNow();
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(1);
  }

  void programEnded() override {
    node_.setDeaf(true);
    node_.stop();
  }

 private:
  Session& session_;
  radio::RadioNode& node_;
};

class ReleasingExit : public ProgramExit {
 public:
  ReleasingExit(OutputLog& log, radio::RadioNode* node) : inner_(log), node_(node) {}
  [[noreturn]] void endNow() override {
    radio::releaseAllPttLinesNow();
    // The node's thread ends first: its network logs off at the directory (a few seconds at most).
    if (node_) node_->stop();
    radio::endStartedJackServersNow();
    inner_.endNow();
  }

 private:
  RealExit inner_;
  radio::RadioNode* node_;
};

}  // namespace

radio::RadioNode* radioNodeOf(Session& session) {
  return dynamic_cast<radio::RadioNode*>(&session.node);
}

void installRadioNode(Session& session, AirRecording* air) {
  radio::RadioNode* node = radioNodeOf(session);
  if (!node) return;
  node->echo = [&session](const std::string& line) { session.transcript.input(line); };
  node->onProblem = reportProblem;
  session.backends.speechToCall = [node](bool on) { node->setSpeechToCall(on); };
  node->onHistory = [&session](const std::string& line) {
    if (session.started()) session.program().historyLog().append(line);
  };
  node->onStopSignal = [] { noteStopRequested(); };
  node->air = air;
  session.addExtension(std::make_unique<RadioExtension>(session, *node));
}

std::unique_ptr<ProgramExit> makeReleasingExit(Session& session) {
  return std::make_unique<ReleasingExit>(session.transcript, radioNodeOf(session));
}

}  // namespace qm
