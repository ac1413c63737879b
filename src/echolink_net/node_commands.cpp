#include "echolink_net/node_commands.h"

namespace qm::echolink_net {
namespace {

bool isDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::optional<NodeCommand> parseNodeCommand(const std::string& digits, const EchoLinkNetSettings& settings,
                                            const std::function<bool(const std::string&)>& isProgramCode) {
  using Kind = NodeCommand::Kind;
  if (!settings.nodeCommands || digits.empty() || digits.size() > 64) return std::nullopt;
  if (isProgramCode && isProgramCode(digits)) return std::nullopt;
  const NodeCodes& c = settings.codes;
  if (digits == c.disconnectAll) return NodeCommand{Kind::DisconnectAll, ""};
  if (digits == c.disconnectLast) return NodeCommand{Kind::DisconnectLast, ""};
  if (digits == c.reconnect) return NodeCommand{Kind::Reconnect, ""};
  if (digits == c.status) return NodeCommand{Kind::Status, ""};
  if (digits.size() > c.connectCall.size() && digits.starts_with(c.connectCall) &&
      isDigits(digits.substr(c.connectCall.size())))
    return NodeCommand{Kind::ConnectCall, digits.substr(c.connectCall.size())};
  if (digits.starts_with(c.connectNode)) {
    std::string number = digits.substr(c.connectNode.size());
    if (isDigits(number) && number.size() >= 3 && number.size() <= 7) return NodeCommand{Kind::ConnectNode, number};
  }
  return std::nullopt;
}

}  // namespace qm::echolink_net
