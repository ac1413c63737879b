#include "radio/network_bridge.h"

#include "echolink/node_event.h"
#include "radio/transmit_path.h"

namespace qm::radio {

namespace {
constexpr int kNetworkRate = 8000;  // the network's audio
}

NetworkBridge::NetworkBridge(TransmitPath& transmit, NodeGauges& gauges, const NetworkFactory& factory)
    : transmit_(transmit), gauges_(gauges), factory_(factory) {}

void NetworkBridge::start(int rate) {
  toNetwork_ = std::make_unique<Resampler>(rate, kNetworkRate);
  fromNetwork_ = std::make_unique<Resampler>(kNetworkRate, rate);
}

void NetworkBridge::make() {
  drop();
  if (factory_) network_ = factory_(*this);
  if (network_) networkStatus("on");  // until the directory says more
}

void NetworkBridge::drop() {
  if (network_) networkStatus("");
  network_.reset();
  // A station talking as the network goes: the program hears its receive end, and the transmitter is let go.
  if (stationTalks_) {
    networkRx(false);
    networkEvent(node_event::RX{false});
  }
  radioBusy_ = false;
}

void NetworkBridge::radioAudio(const float* samples, std::size_t count) {
  if (!network_ || !toNetwork_) return;
  converted_.clear();
  toNetwork_->process(samples, count, converted_);
  if (!converted_.empty()) network_->radioAudio(converted_.data(), converted_.size());
}

void NetworkBridge::radioAudioEnd() {
  if (network_) network_->radioAudioEnd();
}

void NetworkBridge::service() {
  gauges_.netBusyA = network_ && network_->busyA();
  gauges_.netBusyB = network_ && network_->busyB();
  bool busy = gauges_.carrier.load() || gauges_.keyed.load();
  if (network_ && busy != radioBusy_) network_->radioBusy(busy);
  radioBusy_ = busy;
}

void NetworkBridge::networkEvent(const NodeEvent& event) {
  if (onEvent) onEvent(event);
}

void NetworkBridge::networkRx(bool on) {
  stationTalks_ = on;
  transmit_.setStationTalks(on);
}

// Mixed into what the transmitter sends under the program's speech and Morse.
void NetworkBridge::networkAudio(const float* samples, std::size_t count) {
  if (!transmit_.takesStationAudio() || !fromNetwork_) return;
  converted_.clear();
  fromNetwork_->process(samples, count, converted_);
  transmit_.stationAudio(converted_.data(), converted_.size());
}

void NetworkBridge::networkProblem(const std::string& text) {
  if (onProblem) onProblem(text);
}

void NetworkBridge::networkStatus(const std::string& text) {
  if (onStatus) onStatus(text);
}

void NetworkBridge::networkAnnounce(const std::string& text) {
  if (onAnnounce) onAnnounce(text);
}

}  // namespace qm::radio
