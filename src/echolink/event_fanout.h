#pragma once
// Raising one node event on every EchoLinkApp instance, oldest first, as every node does: a handler may create or
// destroy instances (a window loading or unloading), so the event reaches those alive throughout, and a node that
// falls deaf (the program has ended) stops at once.
#include <algorithm>
#include <string>
#include <vector>

#include "echolink/echolink_app.h"

namespace qm {

template <typename Instance, typename F>
void raiseOnEach(const std::vector<Instance*>& instances, const bool& deaf, F&& f) {
  if (deaf) return;
  std::vector<Instance*> snapshot = instances;
  for (Instance* i : snapshot) {
    if (deaf) return;
    if (std::find(instances.begin(), instances.end(), i) == instances.end()) continue;
    f(i->events);
  }
}

// Each event as a call on one instance's handlers, for raiseOnEach. The callables refer to their text arguments:
// raise them at once, never keep them.
namespace raised {
inline auto DTMFString(const std::string& digits) {
  return [&digits](EchoLinkEvents& e) {
    if (e.DTMFString) e.DTMFString(digits);
  };
}
inline auto CarrierDetect(bool on) {
  return [on](EchoLinkEvents& e) {
    if (e.CarrierDetect) e.CarrierDetect(on);
  };
}
inline auto RX(bool on) {
  return [on](EchoLinkEvents& e) {
    if (e.RX) e.RX(on);
  };
}
inline auto connected(const std::string& call, const std::string& name, const std::string& addr) {
  return [&call, &name, &addr](EchoLinkEvents& e) {
    if (e.connected) e.connected(call, name, addr);
  };
}
inline auto Disconnected(const std::string& call) {
  return [&call](EchoLinkEvents& e) {
    if (e.Disconnected) e.Disconnected(call);
  };
}
inline auto ChatTextReceived(const std::string& text) {
  return [&text](EchoLinkEvents& e) {
    if (e.ChatTextReceived) e.ChatTextReceived(text);
  };
}
inline auto StationTextReceived(const std::string& text) {
  return [&text](EchoLinkEvents& e) {
    if (e.StationTextReceived) e.StationTextReceived(text);
  };
}
inline auto Closing() {
  return [](EchoLinkEvents& e) {
    if (e.Closing) e.Closing();
  };
}
}  // namespace raised

}  // namespace qm
