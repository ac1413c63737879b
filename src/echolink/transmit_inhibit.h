#pragma once
// The transmitter inhibit: a kill switch between the program and its node. Every instance the program makes goes
// through it; while the inhibit is on, the program's requests to key the transmitter are held back, a keying under
// way is released, and the node is told to keep its own keying (network audio, a call) off too. Lifting it keys
// nothing by itself: the next request does. Off, it passes everything through unchanged.
#include <functional>
#include <memory>

#include "echolink/injectable_node.h"

namespace qm {

class TransmitInhibit : public EchoLinkNode {
 public:
  explicit TransmitInhibit(InjectableNode& node) : node_(node) {}
  ~TransmitInhibit() override;

  std::unique_ptr<EchoLinkApp> createApp() override;

  void set(bool on);
  bool on() const { return on_; }
  // The program asks for the transmitter now (whether or not the inhibit lets it through).
  bool requested() const { return requested_; }
  InjectableNode& node() { return node_; }
  // Told of every request of the program to key or release the transmitter, after it has been passed on.
  std::function<void(bool keyed)> onRequest;

 private:
  class Instance;
  friend class Instance;
  void request(EchoLinkApp& inner, bool on);

  InjectableNode& node_;
  std::unique_ptr<EchoLinkApp> own_;  // releases the transmitter when the inhibit comes on
  bool on_ = false, requested_ = false;
};

}  // namespace qm
