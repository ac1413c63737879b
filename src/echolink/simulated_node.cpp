#include "echolink/simulated_node.h"

namespace qm {

class SimulatedNode::Instance : public NodeInstance<SimulatedNode> {
 public:
  using NodeInstance::NodeInstance;

  void SetPTT(bool on) override {
    SimulatedNode& n = node();
    if (n.failPTT_) throw AutomationError("EchoLink did not answer SetPTT");
    n.keyed_ = on;
    n.log_.record({"ptt", on ? "on" : "off", false, ""});
    if (n.onPTT) n.onPTT(on);
  }
  bool BusyStateA() override { return node().busyA_; }
  bool BusyStateB() override { return node().busyB_; }
  bool PTTState() override { return node().pttState(); }
  bool CarrierState() override { return node().carrier_; }
  void PlayCW(std::int32_t, const std::string& text) override {
    SimulatedNode& n = node();
    n.log_.record({"cw", text, true, ""});
    if (n.onCW) n.onCW(text);
  }
  std::unique_ptr<EchoLinkStation> LocalStation() override {
    return std::make_unique<CallsignStation>(node().callsign_);
  }
  void SendChatText(const std::string& text) override { node().log_.record({"chat", text, true, ""}); }
};

SimulatedNode::SimulatedNode(OutputLog& log, std::string callsign) : log_(log), callsign_(std::move(callsign)) {}

SimulatedNode::~SimulatedNode() {
  for (EchoLinkApp* i : fanout_.instances()) static_cast<Instance*>(i)->detach();
}

std::unique_ptr<EchoLinkApp> SimulatedNode::createApp() {
  return std::make_unique<Instance>(*this);
}

void SimulatedNode::noteInput(const NodeEvent& event) {
  if (auto* carrier = std::get_if<node_event::CarrierDetect>(&event)) carrier_ = carrier->on;
  if (auto* rx = std::get_if<node_event::RX>(&event)) rx_ = rx->on;
}

}  // namespace qm
