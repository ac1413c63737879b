#include "scenario/skype_actions.h"

#include <cstdlib>

#include "app/frm_main.h"
#include "platform/vb_text.h"
#include "scenario/script.h"
#include "scenario/session_actions.h"
#include "session/session.h"
#include "skype/mod_main.h"

namespace qm {
namespace {

std::intptr_t number(const std::string& word, const char* what) {
  if (startsWith(word, "0x") || startsWith(word, "0X")) {
    char* end = nullptr;
    long long v = std::strtoll(word.c_str() + 2, &end, 16);
    if (word.size() > 2 && *end == '\0') return static_cast<std::intptr_t>(v);
  } else if (auto v = parseInteger(word)) {
    return static_cast<std::intptr_t>(*v);
  }
  throw ScriptError(std::string("'skype attach' takes a number as ") + what + ", not '" + word + "'");
}

}  // namespace

bool skypeAction(Session& session, const std::vector<std::string>& w) {
  if (w[0] != "skype") return false;
  if (w.size() < 2)
    throw ScriptError("'skype' takes an action: answer, hangup, busy, incoming, keys, notify or attach");
  const std::string& action = w[1];
  if (!session.simulatedSkype)
    throw ScriptError("'skype " + action + "' drives the simulated Skype client, which this run does not use");
  SimulatedSkype& skype = session.skype;
  if (SimulatedSkype::parseAttachMode(action))
    throw ScriptError("'skype " + action + "' is set-up: it must come before 'start'");
  if (!skype.running()) throw ScriptError("Skype is not running in this run ('skype absent')");

  if (action == "answer" || action == "hangup" || action == "busy") {
    if (w.size() != 2) throw ScriptError("'skype " + action + "' takes no argument");
    bool done = false;
    runUntilEnded([&] {
      done = action == "answer" ? skype.answer() : action == "hangup" ? skype.hangup() : skype.busy();
    });
    if (!done)
      throw ScriptError(action == "hangup" ? "there is no call to hang up" : "there is no ringing call to " + action);
    return true;
  }
  if (action == "incoming") {
    if (w.size() != 3 || w[2].empty()) throw ScriptError("'skype incoming' takes the caller's number or name");
    HWND to = startedProgram(session).main().skypeLink().mainWindowHandle();
    runUntilEnded([&] { skype.incoming(to, w[2]); });
    return true;
  }
  if (action == "keys") {
    if (w.size() != 3 || w[2].empty()) throw ScriptError("'skype keys' takes the keys the caller presses");
    bool done = false;
    runUntilEnded([&] { done = skype.keys(w[2]); });
    if (!done) throw ScriptError("there is no answered call from the telephone to key into");
    return true;
  }
  if (action == "notify") {
    if (w.size() != 3) throw ScriptError("'skype notify' takes one text");
    HWND to = startedProgram(session).main().skypeLink().mainWindowHandle();
    runUntilEnded([&] { skype.notify(to, w[2]); });
    return true;
  }
  if (action == "attach") {
    if (w.size() != 3 && w.size() != 4) throw ScriptError("'skype attach' takes a status and an optional handle");
    LPARAM status = number(w[2], "status");
    HWND hwnd = w.size() == 4 ? number(w[3], "handle") : skype.apiWindow();
    HWND to = startedProgram(session).main().skypeLink().mainWindowHandle();
    runUntilEnded([&] { skype.sendAttach(to, status, hwnd); });
    return true;
  }
  throw ScriptError("unknown skype action '" + action + "' (answer, hangup, busy, incoming, keys, notify, attach)");
}

}  // namespace qm
