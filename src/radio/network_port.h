#pragma once
// The radio node's side of a network of stations (the EchoLink network): what the node's thread calls on it and what
// it calls back. Both run only on the node's thread; the node forwards the host's calls to the program. The network
// itself lives outside the radio library (quillmere_echolink_net) and is handed to the node as a factory.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "echolink/node_event.h"

namespace qm::radio {

// The node, as the network sees it.
class NetworkHost {
 public:
  virtual ~NetworkHost() = default;
  // An event for the program, raised on every instance and echoed to the transcript.
  virtual void networkEvent(const NodeEvent& event) = 0;
  // A station's audio starts or stops: the node keys the transmitter meanwhile.
  virtual void networkRx(bool on) = 0;
  virtual void networkAudio(const float* samples8k, std::size_t count) = 0;
  virtual void networkProblem(const std::string& text) = 0;
  // Where the node stands on the network ("directory: online", ...), for the operator's view.
  virtual void networkStatus(const std::string& text) = 0;
  // Spoken over the radio with the program's voice and keying.
  virtual void networkAnnounce(const std::string& text) = 0;
};

// The network, as the node uses it.
class NetworkPort {
 public:
  virtual ~NetworkPort() = default;
  // The radio's receive audio while the carrier is present (DTMF cut out), at 8 kHz; the end when it drops.
  virtual void radioAudio(const float* samples8k, std::size_t count) = 0;
  virtual void radioAudioEnd() = 0;
  virtual void radioBusy(bool busy) = 0;
  virtual void sendChat(const std::string& text) = 0;
  // A DTMF string heard on the radio; `programCode` is the program's verdict that the string is one of its codes.
  virtual void dtmf(const std::string& digits, bool programCode) = 0;
  virtual bool busyA() const = 0;
  virtual bool busyB() const = 0;
  // Every connected station is let go.
  virtual void disconnectAll() = 0;
  // The station of that callsign is let go (nothing when none is connected).
  virtual void disconnectStation(const std::string& call) = 0;
  // Logs off, then calls `done` (within a few seconds).
  virtual void shutdown(std::function<void()> done) = 0;
};

// Made on the node's thread once its event loop exists; null when the network is off.
using NetworkFactory = std::function<std::unique_ptr<NetworkPort>(NetworkHost&)>;

}  // namespace qm::radio
