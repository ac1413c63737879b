#pragma once
// The node's own DTMF functions, as EchoLink nodes offer them to radio users: connect by node number or by callsign,
// disconnect the last station or all, reconnect the last one gone, and the status. A string that is one of the
// program's own codes (its switch codes, "*#" requests, "A", "DD", directory codes) is never taken as a node command.
#include <functional>
#include <optional>
#include <string>

#include "echolink_net/echolink_net_settings.h"

namespace qm::echolink_net {

struct NodeCommand {
  enum class Kind { ConnectNode, ConnectCall, DisconnectLast, DisconnectAll, Reconnect, Status };
  Kind kind;
  std::string argument;  // the node number, or the callsign as the directory codes it on the keypad (A-C on 2 ...)
};

// Nothing when the string is no node command (or the functions are off, or the program takes the string).
std::optional<NodeCommand> parseNodeCommand(const std::string& digits, const EchoLinkNetSettings& settings,
                                            const std::function<bool(const std::string&)>& isProgramCode);

}  // namespace qm::echolink_net
