#pragma once
// One place where a real-time session is made: the desktop, the headless mode and a --real-time scenario get their
// node and telephone here, by the names of app/backend_table.h's rows.
#include <memory>
#include <ostream>
#include <string>

#include "platform/folders.h"
#include "session/session.h"

namespace qm {

struct Options;
class Prompter;

// What the named node puts into a new session; unset for the simulated node, which every session has unless told.
Session::NodeFactory nodeFactory(const std::string& node);
// Puts the named telephone into the session in place of the simulated Skype client (nothing for "sim").
void installTelephone(const std::string& telephone, Session& session);

// A session for the desktop or headless mode: the node the options name (after chooseBackends), the program ended
// at once in real time, the transcript written as it comes and not kept, the --callsign given. `boxes`, when given,
// shows the message boxes. Equip it with equipSession.
std::unique_ptr<Session> buildSession(const Options& o, Scheduler& scheduler, const Folders& folders,
                                      std::ostream& transcript, std::unique_ptr<InstanceLock> lock,
                                      Prompter* boxes = nullptr);

}  // namespace qm
