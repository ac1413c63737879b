#include "echolink/simulated_node.h"

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
  if (deaf_) return;
  // A handler may create or destroy instances (a window loading or unloading): deliver to those alive throughout.
  std::vector<Instance*> snapshot = instances_;
  for (Instance* i : snapshot) {
    if (deaf_) return;
    if (std::find(instances_.begin(), instances_.end(), i) == instances_.end()) continue;
    f(i->events);
  }
}

void SimulatedNode::dtmf(const std::string& digits) {
  raise([&](EchoLinkEvents& e) {
    if (e.DTMFString) e.DTMFString(digits);
  });
}

void SimulatedNode::setCarrier(bool on) {
  carrier_ = on;
  raise([&](EchoLinkEvents& e) {
    if (e.CarrierDetect) e.CarrierDetect(on);
  });
}

void SimulatedNode::setRx(bool on) {
  rx_ = on;
  raise([&](EchoLinkEvents& e) {
    if (e.RX) e.RX(on);
  });
}

void SimulatedNode::connect(const std::string& call, const std::string& name, const std::string& addr) {
  raise([&](EchoLinkEvents& e) {
    if (e.connected) e.connected(call, name, addr);
  });
}

void SimulatedNode::disconnect(const std::string& call) {
  raise([&](EchoLinkEvents& e) {
    if (e.Disconnected) e.Disconnected(call);
  });
}

void SimulatedNode::chat(const std::string& text) {
  raise([&](EchoLinkEvents& e) {
    if (e.ChatTextReceived) e.ChatTextReceived(text);
  });
}

void SimulatedNode::stationText(const std::string& text) {
  raise([&](EchoLinkEvents& e) {
    if (e.StationTextReceived) e.StationTextReceived(text);
  });
}

void SimulatedNode::closing() {
  raise([&](EchoLinkEvents& e) {
    if (e.Closing) e.Closing();
  });
}

}  // namespace qm
