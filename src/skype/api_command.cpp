#include "skype/api_command.h"

#include <limits>
#include <vector>

#include "platform/vb_text.h"
#include "skype/api_text.h"

namespace qm {

namespace {

ApiCommand answered(ApiCommand::Verb verb, std::string reply) {
  ApiCommand c;
  c.verb = verb;
  c.reply = std::move(reply);
  return c;
}

ApiCommand invalid(const char* reply) {
  return answered(ApiCommand::Verb::Invalid, reply);
}

ApiCommand unknown() {
  return invalid("ERROR 2 Unknown command");
}

ApiCommand with(ApiCommand::Verb verb) {
  ApiCommand c;
  c.verb = verb;
  return c;
}

int callId(const std::string& word) {
  auto id = parseInteger(word);
  return id && *id > 0 && *id <= std::numeric_limits<int>::max() ? static_cast<int>(*id) : 0;
}

}  // namespace

ApiCommand parseApiCommand(const std::string& text) {
  std::vector<std::string> words = splitApiWords(text);
  for (std::string& w : words) w = apiUpper(w);
  const std::size_t n = words.size();
  if (n == 0) return unknown();
  using Verb = ApiCommand::Verb;
  const std::string& verb = words[0];
  if (verb == "CALL") {
    if (n < 2) return invalid("ERROR 34 Invalid user handle");
    ApiCommand c = with(Verb::Call);
    c.target = apiCallTarget(text).value_or("");
    return c;
  }
  if ((verb == "SET" || verb == "GET" || verb == "ALTER") && n >= 2 && words[1] == "CALL") {
    ApiCommand c;
    if (verb == "SET" && n == 5 && words[3] == "STATUS" && words[4] == "FINISHED") c.verb = Verb::HangUp;
    if (verb == "GET" && n == 4 && words[3] == "STATUS") c.verb = Verb::GetStatus;
    if (verb == "GET" && n == 4 && words[3] == "DURATION") c.verb = Verb::GetDuration;
    if (verb == "ALTER" && n == 4 && (words[3] == "ANSWER" || words[3] == "HOLD" || words[3] == "RESUME"))
      c.verb = Verb::Alter;
    if (verb == "ALTER" && n == 5 && words[3] == "END" && (words[4] == "FORBIDDEN" || words[4] == "BUSY")) {
      c.verb = Verb::Alter;
      c.reason = words[4];
    }
    if (c.verb == Verb::Invalid) return unknown();
    c.callId = callId(words[2]);
    if (c.verb == Verb::Alter) c.action = words[3];
    return c;
  }
  if (verb == "SET" && n == 3 && words[1] == "MUTE" && (words[2] == "ON" || words[2] == "OFF")) {
    ApiCommand c = with(Verb::SetMute);
    c.on = words[2] == "ON";
    return c;
  }
  if (verb == "GET" && n == 2 && words[1] == "MUTE") return with(Verb::GetMute);
  if (verb == "PING" && n == 1) return answered(Verb::Ping, "PONG");
  if (verb == "PROTOCOL" && n == 2) return answered(Verb::Protocol, "PROTOCOL " + words[1]);
  return unknown();
}

}  // namespace qm
