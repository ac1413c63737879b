#include "scenario/session_actions.h"

#include "app/program.h"
#include "scenario/script.h"
#include "scenario/skype_actions.h"
#include "speech/form1.h"

namespace qm {
namespace {

void needArgs(const std::vector<std::string>& w, std::size_t n) {
  if (w.size() != n + 1)
    throw ScriptError("'" + w[0] + "' takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s"));
}

}  // namespace

bool parseOnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw ScriptError("expected on or off, not '" + word + "'");
}

Program& startedProgram(Session& session) {
  if (!session.started()) throw ScriptError("the program has not started yet (use 'start')");
  return session.program();
}

Window& namedWindow(Session& session, const std::string& name) {
  Window* w = startedProgram(session).registry().open(name);
  if (!w) throw ScriptError("no window named '" + name + "'");
  return *w;
}

Control& namedControl(Session& session, const std::string& windowDotControl) {
  auto dot = windowDotControl.find('.');
  if (dot == std::string::npos) throw ScriptError("expected WINDOW.CONTROL, not '" + windowDotControl + "'");
  Window& w = namedWindow(session, windowDotControl.substr(0, dot));
  Control* c = w.control(windowDotControl.substr(dot + 1));
  if (!c) throw ScriptError("no control named '" + windowDotControl + "'");
  return *c;
}

bool runAction(Session& session, const std::vector<std::string>& w) {
  InjectableNode& node = session.node;
  const std::string& cmd = w[0];
  auto onOff = [&](auto setter) {
    needArgs(w, 1);
    bool on = parseOnOff(w[1]);
    runUntilEnded([&] { setter(on); });
  };
  if (cmd == "start") {
    needArgs(w, 0);
    if (session.started()) throw ScriptError("the program has already started");
    session.start();
  } else if (cmd == "dtmf") {
    needArgs(w, 1);
    // EchoLink raises a string only for digits it heard; an empty one would match every empty directory code.
    if (w[1].empty()) throw ScriptError("'dtmf' takes at least one digit");
    runUntilEnded([&] { node.dtmf(w[1]); });
  } else if (cmd == "carrier") {
    onOff([&](bool on) { node.setCarrier(on); });
  } else if (cmd == "rx") {
    onOff([&](bool on) { node.setRx(on); });
  } else if (cmd == "busya") {
    onOff([&](bool on) { node.setBusyA(on); });
  } else if (cmd == "busyb") {
    onOff([&](bool on) { node.setBusyB(on); });
  } else if (cmd == "connect") {
    needArgs(w, 3);
    runUntilEnded([&] { node.connect(w[1], w[2], w[3]); });
  } else if (cmd == "disconnect") {
    needArgs(w, 1);
    runUntilEnded([&] { node.disconnect(w[1]); });
  } else if (cmd == "chat") {
    needArgs(w, 1);
    runUntilEnded([&] { node.chat(w[1]); });
  } else if (cmd == "stationtext") {
    needArgs(w, 1);
    runUntilEnded([&] { node.stationText(w[1]); });
  } else if (cmd == "closing") {
    needArgs(w, 0);
    runUntilEnded([&] { node.closing(); });
  } else if (cmd == "inhibit") {
    // inhibit on|off: the operator's transmitter inhibit (the web page's inhibit-on and inhibit-off).
    onOff([&](bool on) { session.transmitInhibit.set(on); });
  } else if (cmd == "node") {
    // node fail-ptt on|off: EchoLink stops answering SetPTT.
    needArgs(w, 2);
    if (w[1] != "fail-ptt") throw ScriptError("unknown node fault '" + w[1] + "' (fail-ptt)");
    node.setFailPTT(parseOnOff(w[2]));
  } else if (cmd == "speak") {
    // speak "TEXT": an announcement of any text, made as every announcement is (SayTheText, then SpeakTheText).
    needArgs(w, 1);
    Form1& announcer = startedProgram(session).form1();
    runUntilEnded([&] {
      announcer.SayTheText = w[1];
      announcer.SpeakTheText();
    });
  } else if (cmd == "click") {
    needArgs(w, 1);
    Control& c = namedControl(session, w[1]);
    auto* button = dynamic_cast<CommandButton*>(&c);
    if (!button) throw ScriptError("'" + w[1] + "' is not a button");
    runUntilEnded([&] { button->click(); });
  } else if (cmd == "set") {
    needArgs(w, 2);
    Control& c = namedControl(session, w[1]);
    bool ok = true;
    runUntilEnded([&] { ok = c.operatorEdit(w[2]); });
    if (!ok) throw ScriptError("'" + w[1] + "' cannot take \"" + w[2] + "\"");
  } else if (cmd == "close") {
    needArgs(w, 1);
    Window& win = namedWindow(session, w[1]);
    runUntilEnded([&] { win.closeRequest(); });
  } else if (cmd == "show") {
    // show WINDOW: the window is loaded when needed and shown (for windows no button opens, such as SipSettings).
    needArgs(w, 1);
    Window& win = namedWindow(session, w[1]);
    runUntilEnded([&] { win.Show(); });
  } else if (cmd == "resize") {
    // resize WINDOW WIDTH HEIGHT, in twips: the window's outer size changes.
    needArgs(w, 3);
    Window& win = namedWindow(session, w[1]);
    Rect g = win.geometry();
    try {
      g.width = std::stoi(w[2]);
      g.height = std::stoi(w[3]);
    } catch (const std::exception&) {
      throw ScriptError("resize takes a width and a height in twips");
    }
    runUntilEnded([&] { win.setGeometry(g); });
  } else if (cmd == "minimize" || cmd == "restore") {
    needArgs(w, 1);
    Window& win = namedWindow(session, w[1]);
    runUntilEnded([&] { win.setState(cmd == "minimize" ? WindowState::Minimized : WindowState::Normal); });
  } else if (cmd == "answer") {
    needArgs(w, 1);
    if (w[1] == "yes")
      session.prompter.presetAnswer(BoxAnswer::Yes);
    else if (w[1] == "no")
      session.prompter.presetAnswer(BoxAnswer::No);
    else
      throw ScriptError("answer takes yes or no");
  } else {
    if (skypeAction(session, w)) return true;
    for (auto& extra : session.extraActions)
      if (extra(w)) return true;
    return false;
  }
  return true;
}

}  // namespace qm
