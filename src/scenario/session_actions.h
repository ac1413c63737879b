#pragma once
// The scenario language's actions on a session: the node's inputs (dtmf, carrier, connect ...), the operator's (click,
// set, close, answer ...) and the telephone's (skype ...), as the scenario runner, the headless console and the node
// simulator window run them.
#include <string>
#include <vector>

#include "session/session.h"

namespace qm {

// True when the words are an action and it ran; false when they are no action. Throws ScriptError on bad arguments.
// An action that ends the program returns normally.
bool runAction(Session& session, const std::vector<std::string>& words);

// The started program; ScriptError before `start`.
Program& startedProgram(Session& session);
// The window named by a scenario name, loaded when needed; and a control named WINDOW.CONTROL.
Window& namedWindow(Session& session, const std::string& name);
Control& namedControl(Session& session, const std::string& windowDotControl);
bool parseOnOff(const std::string& word);

}  // namespace qm
