#pragma once
// A simulated EchoLink node: a callsign, the radio's carrier, the transmitter's PTT, the two busy states, network
// audio and the station events. Its inputs come from scenarios, the console or the node simulator window; every
// operation the program calls is written to the output log (ptt, cw, chat). While network audio plays it keys the
// transmitter itself, as EchoLink does.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "echolink/echolink_app.h"
#include "platform/output_log.h"

namespace qm {

class SimulatedNode : public EchoLinkNode {
 public:
  explicit SimulatedNode(OutputLog& log, std::string callsign = "N0CALL-L");
  ~SimulatedNode() override;

  std::unique_ptr<EchoLinkApp> createApp() override;

  // Node state.
  const std::string& callsign() const { return callsign_; }
  void setCallsign(std::string c) { callsign_ = std::move(c); }
  bool carrier() const { return carrier_; }
  bool rx() const { return rx_; }
  bool keyed() const { return keyed_; }
  bool pttState() const { return keyed_ || rx_; }
  bool busyA() const { return busyA_; }
  bool busyB() const { return busyB_; }

  // Inputs: each changes the node's state and raises the matching event on every instance, oldest first.
  void dtmf(const std::string& digits);
  void setCarrier(bool on);
  void setRx(bool on);
  void setBusyA(bool on) { busyA_ = on; }
  void setBusyB(bool on) { busyB_ = on; }
  void connect(const std::string& call, const std::string& name, const std::string& addr);
  void disconnect(const std::string& call);
  void chat(const std::string& text);
  void stationText(const std::string& text);
  void closing();

  // Faults for tests: while set, SetPTT fails as an application that does not answer.
  void setFailPTT(bool on) { failPTT_ = on; }
  // While set, node events are dropped (the program has ended).
  void setDeaf(bool on) { deaf_ = on; }

  // Called for everything keyed onto the air, for the air recording and live views.
  std::function<void(const std::string& cwText)> onCW;
  std::function<void(bool keyed)> onPTT;

  class Instance;

 private:
  friend class Instance;
  template <typename F>
  void raise(F&& f);

  OutputLog& log_;
  std::string callsign_;
  bool carrier_ = false, rx_ = false, keyed_ = false, busyA_ = false, busyB_ = false;
  bool failPTT_ = false, deaf_ = false;
  std::vector<Instance*> instances_;
};

}  // namespace qm
