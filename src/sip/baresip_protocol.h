#pragma once
// baresip's TCP control channel (its ctrl_tcp module), one JSON object in each netstring frame.
//
// Commands go out as {"command":"dial","params":"sip:bob@example.com","token":"dial 3"}; the command line is the
// command, a blank and the params, run as one of baresip's long commands ("dial URI", "hangup", and, while a call
// is up, "mute", which toggles the microphone).
//
// Every command gets exactly one response, in order: {"response":true,"ok":true|false,"data":"TEXT","token":"..."}.
//
// Events arrive whenever something happens: {"event":true,"class":"call","type":"CALL_ESTABLISHED",
// "accountaor":"sip:...","direction":"outgoing","peeruri":"sip:...","id":"73a12546589651f8","param":"..."}.
// The types followed here: CALL_RINGING and CALL_PROGRESS (the far end rings, with or without early media),
// CALL_ESTABLISHED (answered), CALL_CLOSED (over; param gives the reason, such as "486 Busy Here" or "Connection
// reset by peer"), CALL_INCOMING (someone calls us); in class "register" REGISTER_OK and REGISTER_FAIL (param the
// reason), and REGISTERING when an attempt starts. Events of class "other" (SDP offers and answers) carry no call id
// and are not needed.
#include <optional>
#include <string>
#include <variant>

namespace qm {

struct BaresipEvent {
  std::string eventClass;  // call, register, other ...
  std::string type;        // CALL_ESTABLISHED ...
  std::string callId;      // baresip's own id of the call; empty when the event has none
  std::string direction;   // incoming or outgoing
  std::string peerUri;
  std::string param;
  std::string accountAor;  // the account's address as baresip spells it
};

struct BaresipResponse {
  bool ok = false;
  std::string data;
  std::string token;
};

using BaresipMessage = std::variant<BaresipEvent, BaresipResponse>;

// One frame's message; nothing (with `problem` set) when it is not JSON or neither an event nor a response.
std::optional<BaresipMessage> parseBaresipMessage(const std::string& frame, std::string& problem);

// A command as the JSON object that goes into one frame; `params` and `token` are left out when empty.
std::string baresipCommand(const std::string& command, const std::string& params, const std::string& token);

// The SIP status code at the start of a reason such as "486 Busy Here"; 0 when it starts with none.
int sipStatusOf(const std::string& reason);

}  // namespace qm
