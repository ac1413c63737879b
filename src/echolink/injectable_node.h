#pragma once
// A node whose inputs can be injected: the scenario language's node actions (dtmf, carrier, rx, ...), the console and
// the node simulator act through this, whichever node runs. Each input changes the node's state and raises the
// matching event on every instance, oldest first, on the program's thread.
#include <functional>
#include <string>

#include "echolink/echolink_app.h"
#include "echolink/event_fanout.h"
#include "echolink/node_event.h"

namespace qm {

template <class Node>
class NodeInstance;

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

  // Inputs: each changes the node's state and raises the matching event on every instance, oldest first.
  void inject(const NodeEvent& event) {
    noteInput(event);
    fanout_.raise(event);
  }
  void dtmf(const std::string& digits) { inject(node_event::DTMFString{digits}); }
  void setCarrier(bool on) { inject(node_event::CarrierDetect{on}); }
  void setRx(bool on) { inject(node_event::RX{on}); }
  virtual void setBusyA(bool on) = 0;
  virtual void setBusyB(bool on) = 0;
  void connect(const std::string& call, const std::string& name, const std::string& addr) {
    inject(node_event::Connected{call, name, addr});
  }
  void disconnect(const std::string& call) { inject(node_event::Disconnected{call}); }
  void chat(const std::string& text) { inject(node_event::ChatTextReceived{text}); }
  void stationText(const std::string& text) { inject(node_event::StationTextReceived{text}); }
  void closing() { inject(node_event::Closing{}); }

  // What keys the transmitter now, when the node knows: "morse", "station", "call", "speech"; empty when released or
  // not known.
  virtual std::string keyedBy() const { return ""; }

  // The transmitter inhibit (TransmitInhibit): while on, the node keys the transmitter for nothing of its own either.
  virtual void setTransmitInhibit(bool on) = 0;

  // Faults for tests: while set, SetPTT fails as an application that does not answer.
  virtual void setFailPTT(bool on) = 0;
  // While set, node events are dropped (the program has ended).
  void setDeaf(bool on) { fanout_.setDeaf(on); }

  // Called for everything keyed onto the air, for the air recording and live views (on the program's thread).
  std::function<void(const std::string& cwText)> onCW;
  std::function<void(bool keyed)> onPTT;
  // Told on the program's thread of each event the node raised of its own (not injected), as the scenario input it
  // equals: the transcript's echo.
  std::function<void(const std::string& commandLine)> echo;

 protected:
  // The node's own state follows an injected input (its carrier, its network audio) before the event is raised.
  virtual void noteInput(const NodeEvent&) {}
  // An event the node heard itself: echoed, then raised.
  void raiseHeard(const NodeEvent& event) {
    if (echo) echo(inputLine(event));
    fanout_.raise(event);
  }
  EventFanout fanout_;  // the node's instances, oldest first

 private:
  template <class Node>
  friend class NodeInstance;
};

// One automation instance of a node, on the node's fanout from its creation to its end. Once the node has gone first
// (detach), a call fails as a call to an EchoLink that is not running.
template <class Node>
class NodeInstance : public EchoLinkApp {
 public:
  explicit NodeInstance(Node& node) : node_(&node) { node.fanout_.add(this); }
  ~NodeInstance() override {
    if (node_) node_->fanout_.remove(this);
  }
  void detach() { node_ = nullptr; }

 protected:
  Node& node() {
    if (!node_) throw AutomationError("EchoLink is not running");
    return *node_;
  }

 private:
  Node* node_;
};

// The node's own station (LocalStation), by its callsign.
class CallsignStation : public EchoLinkStation {
 public:
  explicit CallsignStation(std::string call) : call_(std::move(call)) {}
  std::string Callsign() override { return call_; }

 private:
  std::string call_;
};

}  // namespace qm
