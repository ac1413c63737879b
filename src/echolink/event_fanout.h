#pragma once
// Raising one node event on every EchoLinkApp instance, oldest first, as every node does: a handler may create or
// destroy instances (a window loading or unloading), so the event reaches those alive throughout, and a node that
// falls deaf (the program has ended) stops at once.
#include <algorithm>
#include <vector>

#include "echolink/echolink_app.h"
#include "echolink/node_event.h"

namespace qm {

class EventFanout {
 public:
  void add(EchoLinkApp* instance) { instances_.push_back(instance); }
  void remove(EchoLinkApp* instance) { std::erase(instances_, instance); }
  const std::vector<EchoLinkApp*>& instances() const { return instances_; }
  void setDeaf(bool on) { deaf_ = on; }

  void raise(const NodeEvent& event) {
    if (deaf_) return;
    std::vector<EchoLinkApp*> snapshot = instances_;
    for (EchoLinkApp* i : snapshot) {
      if (deaf_) return;
      if (std::find(instances_.begin(), instances_.end(), i) == instances_.end()) continue;
      deliver(event, i->events);
    }
  }

 private:
  std::vector<EchoLinkApp*> instances_;
  bool deaf_ = false;
};

}  // namespace qm
