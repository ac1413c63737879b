#pragma once
// The node's side of the network of stations (EchoLink): the network made and dropped, the receive audio sent to it
// at its rate while the carrier is present, a station's talk keying the transmitter and mixed into radio_out, the
// radio's busy state told to it and its own published. What it raises for the program goes out through the callbacks
// below. Single-threaded: the node's thread.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "radio/network_port.h"
#include "radio/node_gauges.h"
#include "radio/resampler.h"

namespace qm::radio {

class TransmitPath;

class NetworkBridge : public NetworkHost {
 public:
  // `factory` is read at each make (it may be unset: no network).
  NetworkBridge(TransmitPath& transmit, NodeGauges& gauges, const NetworkFactory& factory);

  std::function<void(const NodeEvent& event)> onEvent;
  std::function<void(const std::string&text)> onProblem, onStatus, onAnnounce;

  // The server's rate is known (again): the converters to and from the network's rate are made for it.
  void start(int rate);
  // The network made (anew) or dropped.
  void make();
  void drop();
  NetworkPort* network() { return network_.get(); }

  // Receive audio (DTMF cut out) while the carrier is present, and its end.
  void radioAudio(const float* samples, std::size_t count);
  void radioAudioEnd();
  // At each turn of the loop: its busy states published, the radio's told to it.
  void service();

  void networkEvent(const NodeEvent& event) override;
  void networkRx(bool on) override;
  void networkAudio(const float* samples8k, std::size_t count) override;
  void networkProblem(const std::string& text) override;
  void networkStatus(const std::string& text) override;
  void networkAnnounce(const std::string& text) override;

 private:
  TransmitPath& transmit_;
  NodeGauges& gauges_;
  const NetworkFactory& factory_;
  std::unique_ptr<NetworkPort> network_;
  bool stationTalks_ = false;  // a station talks: the transmitter is keyed for it
  bool radioBusy_ = false;     // last told to the network
  std::unique_ptr<Resampler> toNetwork_, fromNetwork_;
  std::vector<float> converted_;
};

}  // namespace qm::radio
