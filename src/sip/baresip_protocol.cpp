#include "sip/baresip_protocol.h"

#include "sip/json_text.h"

namespace qm {

namespace {

// Reasons and addresses come from the far end or the provider: control characters (a terminal's escapes) become
// '?', and the text is cut to a length any real one fits in, before it reaches a log, a box or the transcript.
std::string printable(std::string text) {
  constexpr std::size_t kLongest = 200;
  if (text.size() > kLongest) text = text.substr(0, kLongest) + "...";
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

std::optional<BaresipMessage> parseBaresipMessage(const std::string& frame, std::string& problem) {
  std::string why;
  auto o = JsonObject::parse(frame, &why);
  if (!o) {
    problem = "not JSON (" + why + ")";
    return std::nullopt;
  }
  if (o->flag("event")) {
    return BaresipEvent{o->text("class"),
                        o->text("type"),
                        o->text("id"),
                        o->text("direction"),
                        printable(o->text("peeruri")),
                        printable(o->text("param")),
                        printable(o->text("accountaor"))};
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
