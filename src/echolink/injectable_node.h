#pragma once
// A node whose inputs can be injected: the scenario language's node actions (dtmf, carrier, rx, ...), the console and
// the node simulator act through this, whichever node runs. Each input changes the node's state and raises the
// matching event on every instance, oldest first, on the program's thread.
#include <functional>
#include <string>

#include "echolink/echolink_app.h"

namespace qm {

class InjectableNode : public EchoLinkNode {
 public:
  // Node state as the program would poll it.
  virtual const std::string& callsign() const = 0;
  virtual void setCallsign(std::string callsign) = 0;
  virtual bool carrier() const = 0;
  virtual bool rx() const = 0;
  virtual bool pttState() const = 0;
  virtual bool busyA() const = 0;
  virtual bool busyB() const = 0;

  virtual void dtmf(const std::string& digits) = 0;
  virtual void setCarrier(bool on) = 0;
  virtual void setRx(bool on) = 0;
  virtual void setBusyA(bool on) = 0;
  virtual void setBusyB(bool on) = 0;
  virtual void connect(const std::string& call, const std::string& name, const std::string& addr) = 0;
  virtual void disconnect(const std::string& call) = 0;
  virtual void chat(const std::string& text) = 0;
  virtual void stationText(const std::string& text) = 0;
  virtual void closing() = 0;

  // What keys the transmitter now, when the node knows: "morse", "station", "call", "speech"; empty when released or
  // not known.
  virtual std::string keyedBy() const { return ""; }

  // The transmitter inhibit (TransmitInhibit): while on, the node keys the transmitter for nothing of its own either.
  virtual void setTransmitInhibit(bool on) = 0;

  // Faults for tests: while set, SetPTT fails as an application that does not answer.
  virtual void setFailPTT(bool on) = 0;
  // While set, node events are dropped (the program has ended).
  virtual void setDeaf(bool on) = 0;

  // Called for everything keyed onto the air, for the air recording and live views (on the program's thread).
  std::function<void(const std::string& cwText)> onCW;
  std::function<void(bool keyed)> onPTT;
};

}  // namespace qm
