#pragma once
// The commands a telephone backend takes from the program, in the Skype API's text lines. Every backend that plays the
// Skype client (the simulated one, the SIP client) reads a line through parseApiCommand, so they take the same lines:
//   CALL target                      place a call (the target as written)
//   SET CALL n STATUS FINISHED       hang up
//   GET CALL n STATUS | DURATION     ask
//   ALTER CALL n ANSWER | HOLD | RESUME | END FORBIDDEN | END BUSY    a call from the telephone
//   SET MUTE ON | OFF, GET MUTE, PING, PROTOCOL n
// The words of a command are matched without regard to case; a call's target keeps its own.
#include <string>

namespace qm {

struct ApiCommand {
  enum class Verb { Invalid, Call, HangUp, GetStatus, GetDuration, Alter, SetMute, GetMute, Ping, Protocol };
  Verb verb = Verb::Invalid;
  // A command the client answers by its text alone: the answer ("ERROR 2 Unknown command", "PONG", "PROTOCOL 8" ...).
  std::string reply;
  std::string target;  // Call
  int callId = 0;      // the CALL n commands: n, or 0 when n can be no call's id (no call has id 0)
  std::string action;  // Alter: ANSWER, HOLD, RESUME, END
  std::string reason;  // Alter END: FORBIDDEN or BUSY
  bool on = false;     // SetMute
};

ApiCommand parseApiCommand(const std::string& text);

}  // namespace qm
