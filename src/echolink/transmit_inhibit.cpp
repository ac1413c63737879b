#include "echolink/transmit_inhibit.h"

namespace qm {

// Forwards every call to the node's own instance, and the node's events back to the program's handlers.
class TransmitInhibit::Instance : public EchoLinkApp {
 public:
  Instance(TransmitInhibit& owner, std::unique_ptr<EchoLinkApp> inner) : owner_(owner), inner_(std::move(inner)) {
    EchoLinkEvents& e = inner_->events;
    e.DTMFString = [this](const std::string& d) { forward(events.DTMFString, d); };
    e.CarrierDetect = [this](bool on) { forward(events.CarrierDetect, on); };
    e.RX = [this](bool on) { forward(events.RX, on); };
    e.connected = [this](const std::string& c, const std::string& n, const std::string& a) {
      forward(events.connected, c, n, a);
    };
    e.Disconnected = [this](const std::string& c) { forward(events.Disconnected, c); };
    e.Closing = [this] { forward(events.Closing); };
    e.ChatTextReceived = [this](const std::string& t) { forward(events.ChatTextReceived, t); };
    e.StationTextReceived = [this](const std::string& t) { forward(events.StationTextReceived, t); };
  }

  void SetPTT(bool on) override { owner_.request(*inner_, on); }
  bool BusyStateA() override { return inner_->BusyStateA(); }
  bool BusyStateB() override { return inner_->BusyStateB(); }
  bool PTTState() override { return inner_->PTTState(); }
  bool CarrierState() override { return inner_->CarrierState(); }
  void PlayCW(std::int32_t mode, const std::string& text) override { inner_->PlayCW(mode, text); }
  std::unique_ptr<EchoLinkStation> LocalStation() override { return inner_->LocalStation(); }
  void SendChatText(const std::string& text) override { inner_->SendChatText(text); }

 private:
  template <typename F, typename... A>
  static void forward(const F& handler, const A&... args) {
    if (handler) handler(args...);
  }
  TransmitInhibit& owner_;
  std::unique_ptr<EchoLinkApp> inner_;
};

TransmitInhibit::~TransmitInhibit() = default;

std::unique_ptr<EchoLinkApp> TransmitInhibit::createApp() {
  return std::make_unique<Instance>(*this, node_.createApp());
}

void TransmitInhibit::request(EchoLinkApp& inner, bool on) {
  requested_ = on;
  if (!on || !on_) inner.SetPTT(on);
  if (onRequest) onRequest(on);
}

void TransmitInhibit::set(bool on) {
  if (on == on_) return;
  on_ = on;
  node_.setTransmitInhibit(on);
  if (!on || !requested_) return;
  if (!own_) own_ = node_.createApp();
  try {
    own_->SetPTT(false);
  } catch (const AutomationError&) {
    // The node keeps its own keying off (setTransmitInhibit above); a node that does not answer cannot do more.
  }
}

}  // namespace qm
