#pragma once
// What the node shows to someone watching from outside (the web page, the metrics): a small value the logic builds
// after every change and hands to a StatusSink. The sink may live on another thread; it gets copies only.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct NodeStatus {
  struct Call {
    std::string number;     // the number or name called
    std::string state;      // the telephone's last status ("ROUTING", "RINGING", "INPROGRESS", ...)
    int duration = 0;       // seconds up
    bool incoming = false;  // a call from the telephone (state RINGING until answered, PIN while its PIN is keyed)
    bool operator==(const Call&) const = default;
  };

  std::string callsign;
  bool ptt = false;
  std::string pttBy;                // what keys it: "speech", "morse", "station", "call", "node"; empty when released
  std::int64_t pttSinceMs = 0;      // when it was keyed (milliseconds since 1970); 0 when released
  std::int64_t transmitMsDone = 0;  // keyed time of the keyings that have ended
  bool carrier = false;
  bool dtmfControl = false;
  bool inhibit = false;
  std::string timeoutCounter;  // the transmit time-out counter as the main window shows it
  std::optional<Call> call;
  std::vector<std::string> stations;
  std::string directory;  // the network's state ("directory: online"); empty without a network
  std::string problem;    // the last problem the operator was told of
  std::map<std::string, std::uint64_t> callResults;      // calls that have ended, by result
  std::map<std::string, std::uint64_t> incomingResults;  // calls from the telephone that have ended, by result
  std::uint64_t dtmfStrings = 0;
  // The four audio levels in whole dBFS (-120: silence), from a node that measures them.
  struct Levels {
    int radioIn = -120, radioOut = -120, callIn = -120, callOut = -120;
    bool operator==(const Levels&) const = default;
  };
  std::optional<Levels> levels;
  std::string registration;  // the SIP account's registration ("registered", "no answer" ...); empty without SIP
  // Audio lost since the start, by kind ("xrun", "rx_overrun", "tx_underrun", ...), from a node with a sound server.
  std::map<std::string, std::uint64_t> audioOverruns;

  bool operator==(const NodeStatus&) const = default;
};

// Where the logic hands each new status.
class StatusSink {
 public:
  virtual ~StatusSink() = default;
  virtual void publish(const NodeStatus& status) = 0;
};

}  // namespace qm
