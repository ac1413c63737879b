#include "echolink/simulated_node.h"

#include "echolink/event_fanout.h"

#include <algorithm>

namespace qm {

namespace {
class Station : public EchoLinkStation {
 public:
  explicit Station(std::string call) : call_(std::move(call)) {}
  std::string Callsign() override { return call_; }

 private:
  std::string call_;
};
}  // namespace

class SimulatedNode::Instance : public EchoLinkApp {
 public:
  explicit Instance(SimulatedNode& node) : node_(&node) { node.instances_.push_back(this); }
  ~Instance() override {
    if (node_) std::erase(node_->instances_, this);
  }
  void detach() { node_ = nullptr; }

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
  std::unique_ptr<EchoLinkStation> LocalStation() override { return std::make_unique<Station>(node().callsign_); }
  void SendChatText(const std::string& text) override { node().log_.record({"chat", text, true, ""}); }

 private:
  SimulatedNode& node() {
    if (!node_) throw AutomationError("EchoLink is not running");
    return *node_;
  }
  SimulatedNode* node_;
};

SimulatedNode::SimulatedNode(OutputLog& log, std::string callsign) : log_(log), callsign_(std::move(callsign)) {}

SimulatedNode::~SimulatedNode() {
  for (Instance* i : instances_) i->detach();
}

std::unique_ptr<EchoLinkApp> SimulatedNode::createApp() {
  return std::make_unique<Instance>(*this);
}

template <typename F>
void SimulatedNode::raise(F&& f) {
  raiseOnEach(instances_, deaf_, std::forward<F>(f));
}

void SimulatedNode::dtmf(const std::string& digits) {
  raise(raised::DTMFString(digits));
}

void SimulatedNode::setCarrier(bool on) {
  carrier_ = on;
  raise(raised::CarrierDetect(on));
}

void SimulatedNode::setRx(bool on) {
  rx_ = on;
  raise(raised::RX(on));
}

void SimulatedNode::connect(const std::string& call, const std::string& name, const std::string& addr) {
  raise(raised::connected(call, name, addr));
}

void SimulatedNode::disconnect(const std::string& call) {
  raise(raised::Disconnected(call));
}

void SimulatedNode::chat(const std::string& text) {
  raise(raised::ChatTextReceived(text));
}

void SimulatedNode::stationText(const std::string& text) {
  raise(raised::StationTextReceived(text));
}

void SimulatedNode::closing() {
  raise(raised::Closing());
}

}  // namespace qm
