#pragma once
// A simulated EchoLink node: a callsign, the radio's carrier, the transmitter's PTT, the two busy states, network
// audio and the station events. Its inputs come from scenarios, the console or the node simulator window; every
// operation the program calls is written to the output log (ptt, cw, chat). While network audio plays it keys the
// transmitter itself, as EchoLink does.
#include <functional>
#include <memory>
#include <string>

#include "echolink/injectable_node.h"
#include "platform/output_log.h"

namespace qm {

class SimulatedNode : public InjectableNode {
 public:
  explicit SimulatedNode(OutputLog& log, std::string callsign = "N0CALL-L");
  ~SimulatedNode() override;

  std::unique_ptr<EchoLinkApp> createApp() override;

  // Node state.
  const std::string& callsign() const override { return callsign_; }
  void setCallsign(std::string c) override { callsign_ = std::move(c); }
  bool carrier() const override { return carrier_; }
  bool rx() const override { return rx_; }
  std::string keyedBy() const override { return !pttState() ? "" : keyed_ ? "speech" : "station"; }
  bool keyed() const { return keyed_; }
  bool pttState() const override { return !inhibit_ && (keyed_ || rx_); }
  bool busyA() const override { return busyA_; }
  bool busyB() const override { return busyB_; }

  void setBusyA(bool on) override { busyA_ = on; }
  void setBusyB(bool on) override { busyB_ = on; }

  void setTransmitInhibit(bool on) override { inhibit_ = on; }
  void setFailPTT(bool on) override { failPTT_ = on; }

  class Instance;

 private:
  friend class Instance;
  void noteInput(const NodeEvent& event) override;

  OutputLog& log_;
  std::string callsign_;
  bool carrier_ = false, rx_ = false, keyed_ = false, busyA_ = false, busyB_ = false;
  bool failPTT_ = false, inhibit_ = false;
};

}  // namespace qm
