// The radio node's module: what the program asks of the radio (launch/radio_module.h), answered by the node's code.
#include <algorithm>
#include <cmath>
#include <map>

#include "app/config_check.h"
#include "app/program.h"
#include "echolink_net/echolink_net_settings.h"
#include "radio/config_check.h"
#include "radio/lines.h"
#include "radio/radio_node.h"
#include "radio/release_ptt.h"
#include "radio_module/radio_launch.h"
#include "sip/sip_client.h"
#include "skype/incoming_calls.h"
#include "web/web_backend.h"

namespace qm {

namespace {

class BuiltInRadioModule : public RadioModule {
 public:
  Session::NodeFactory nodeFactory() override {
    return [](Scheduler& scheduler, OutputLog& log) -> std::unique_ptr<InjectableNode> {
      return std::make_unique<radio::RadioNode>(scheduler, log, radio::RadioSettings{});
    };
  }

  bool drives(Session& session) override { return radioNodeOf(session) != nullptr; }

  void installNode(Session& session, AirRecording* air) override { installRadioNode(session, air); }

  std::unique_ptr<ProgramExit> makeRealExit(Session& session) override { return makeReleasingExit(session); }

  void joinCall(Session& session, SipClient& sip) override {
    radio::RadioNode* node = radioNodeOf(session);
    if (!node) return;
    sip.useJack(node->callPeer, [node] { return node->jackSampleRate(); });
    sip.skype().onMute = [node](bool muted) { node->setCallMuted(muted); };
    sip.skype().onHold = [node](bool held) { node->setCallHeld(held); };
    node->onCallerKey = [&session](char key) {
      if (session.started()) session.program().incoming().toneKey(key);
    };
  }

  SpeechSink speechSink(Session& session) override {
    radio::RadioNode* node = radioNodeOf(session);
    if (!node) return nullptr;
    return [node](const std::vector<std::int16_t>& samples, int rate) { node->transmitSpeech(samples, rate); };
  }

  void hookWebPage(Session& session, web::NodeHooks& web) override {
    radio::RadioNode* node = radioNodeOf(session);
    if (!node) return;
    web.disconnectAll = [node] { node->disconnectAllStations(); };
    web.disconnectStation = [node](const std::string& call) { node->disconnectStation(call); };
    web.levels = [node] {
      auto dB = [](double level) { return static_cast<int>(std::lround(std::max(-120.0, level))); };
      return NodeStatus::Levels{dB(node->receiveLevelDbfs()), dB(node->transmitLevelDbfs()),
                                dB(node->callReceiveLevelDbfs()), dB(node->callTransmitLevelDbfs())};
    };
    web.audioOverruns = [node] {
      const radio::AudioOverruns o = node->audioOverruns();
      return std::map<std::string, std::uint64_t>{{"xrun", o.xruns},
                                                  {"rx_overrun", o.receiveOverruns},
                                                  {"tx_underrun", o.transmitUnderruns},
                                                  {"call_rx_overrun", o.callReceiveOverruns},
                                                  {"call_tx_overrun", o.callTransmitOverruns}};
    };
    web.directoryState = [node] { return node->networkStatus(); };
    web.applySettings[echolink_net::kEchoLinkSettingsFile] = [node] {
      if (!node->makeNetwork) return false;  // no network at start: one is made at the next
      node->rebuildNetwork();
      return true;
    };
  }

  void watchNodeLoop(Session& session, std::function<void()> alive) override {
    if (radio::RadioNode* node = radioNodeOf(session)) node->onAlive = std::move(alive);
  }

  void checkRadio(const radio::RadioSettings& settings, CheckReport& report) override {
    radio::checkRadio(settings, radio::takeInventory(), report);
  }

  int releasePtt(const Folders& folders, std::ostream& out, std::ostream& errors) override {
    return radio::runReleasePtt(folders, out, errors);
  }
};

}  // namespace

RadioModule& builtInRadioModule() {
  // Before any line can be opened: a crash releases every PTT line the program holds.
  radio::installEmergencyRelease();
  static BuiltInRadioModule module;
  return module;
}

}  // namespace qm
