#include "sip/baresip_protocol.h"

#include "sip/json_text.h"

namespace qm {

std::optional<BaresipMessage> parseBaresipMessage(const std::string& frame, std::string& problem) {
  std::string why;
  auto o = JsonObject::parse(frame, &why);
  if (!o) {
    problem = "not JSON (" + why + ")";
    return std::nullopt;
  }
  if (o->flag("event")) {
    return BaresipEvent{o->text("class"),   o->text("type"),  o->text("id"),        o->text("direction"),
                        o->text("peeruri"), o->text("param"), o->text("accountaor")};
  }
  if (o->flag("response")) return BaresipResponse{o->flag("ok"), o->text("data"), o->text("token")};
  problem = "neither an event nor a response";
  return std::nullopt;
}

std::string baresipCommand(const std::string& command, const std::string& params, const std::string& token) {
  std::string out = "{\"command\":" + jsonQuote(command);
  if (!params.empty()) out += ",\"params\":" + jsonQuote(params);
  if (!token.empty()) out += ",\"token\":" + jsonQuote(token);
  return out + "}";
}

int sipStatusOf(const std::string& reason) {
  if (reason.size() < 3) return 0;
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (reason[i] < '0' || reason[i] > '9') return 0;
    code = code * 10 + (reason[i] - '0');
  }
  if (reason.size() > 3 && reason[3] != ' ') return 0;
  return code >= 100 && code <= 699 ? code : 0;
}

}  // namespace qm
