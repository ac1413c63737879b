#pragma once
// What a node raises, as a value: the event and its arguments. Every node (the simulated one, the radio node and the
// EchoLink network behind it) builds one of these; `deliver` hands it to one instance's handlers and `inputLine` writes
// it as the scenario input it equals, the transcript's echo of it.
#include <string>
#include <variant>

#include "echolink/echolink_app.h"

namespace qm {

namespace node_event {
struct DTMFString {
  std::string digits;
};
struct CarrierDetect {
  bool on;
};
struct RX {
  bool on;
};
struct Connected {
  std::string call, name, address;
};
struct Disconnected {
  std::string call;
};
struct ChatTextReceived {
  std::string text;
};
struct StationTextReceived {
  std::string text;
};
struct Closing {};
}  // namespace node_event

using NodeEvent = std::variant<node_event::DTMFString, node_event::CarrierDetect, node_event::RX, node_event::Connected,
                               node_event::Disconnected, node_event::ChatTextReceived, node_event::StationTextReceived,
                               node_event::Closing>;

// Calls the handler the instance has set for the event; nothing when it has none.
void deliver(const NodeEvent& event, EchoLinkEvents& handlers);
// The scenario input the event equals: `carrier on`, `dtmf "*#123"`, `connect W1AW Hiram 127.0.0.2`, `closing` ...
std::string inputLine(const NodeEvent& event);

}  // namespace qm
