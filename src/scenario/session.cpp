#include "scenario/session.h"

#include "app/frm_main.h"
#include "echolink/air_recording.h"
#include "echolink/morse.h"
#include "echolink/simulated_node.h"
#include "platform/scheduler.h"
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

void runUntilEnded(const std::function<void()>& body) {
  try {
    body();
  } catch (const ProgramEnded&) {
  }
}

bool parseOnOff(const std::string& word) {
  if (word == "on") return true;
  if (word == "off") return false;
  throw ScriptError("expected on or off, not '" + word + "'");
}

Session::Session(Scheduler& scheduler, Folders folders, std::ostream* out, const ExitFactory& makeExit,
                 std::unique_ptr<InstanceLock> lock, Prompter* boxes, const NodeFactory& makeNode)
    : transcript(scheduler, out),
      prompter(transcript),
      ownedNode_(makeNode ? makeNode(scheduler, transcript) : std::make_unique<SimulatedNode>(transcript)),
      node(*ownedNode_),
      instanceLock(std::move(lock)),
      exit(makeExit(*this)),
      skype(windowSystem, scheduler, transcript),
      backends{scheduler,  boxes ? *boxes : prompter, *exit, transmitInhibit, *instanceLock,
               transcript, std::move(folders)},
      estimateVoice(scheduler),
      voice(transcript, &estimateVoice) {
  backends.inhibit = &transmitInhibit;
  backends.voice = &voice;
  backends.http = &httpRecorder;
  backends.windowSystem = &windowSystem;
  backends.bell = &bell;
  // Morse that the simulated node sends goes into the air recording, when one is made, with a word space after it.
  // A real node records what it sends itself.
  if (dynamic_cast<SimulatedNode*>(&node))
    node.onCW = [this](const std::string& text) {
      if (!backends.air) return;
      backends.air->append(renderMorse(text, backends.air->sampleRate()));
      backends.air->appendSilence(std::chrono::milliseconds(420));
    };
  extraActions.push_back([this](const std::vector<std::string>& w) { return skypeAction(*this, w); });
}

Session::~Session() = default;

void Session::start() {
  if (program_) throw ScriptError("the program has already started");
  if (simulatedSkype) skype.launch();  // Skype is running before the program starts
  program_ = std::make_unique<Program>(backends);
  if (onProgramCreated) onProgramCreated(*program_);
  for (auto& extension : extensions_) extension->programCreated(*program_);
  bool goesOn = false;
  runUntilEnded([&] {
    program_->start();
    goesOn = true;
  });
  if (goesOn)
    for (auto& extension : extensions_) extension->programStarted();
}

void Session::programEnded() {
  node.setDeaf(true);
  skype.setDeaf(true);
  for (auto& extension : extensions_) extension->programEnded();
}

Program& Session::program() {
  if (!program_) throw ScriptError("the program has not started yet (use 'start')");
  return *program_;
}

Window& Session::window(const std::string& name) {
  Window* w = program().registry().open(name);
  if (!w) throw ScriptError("no window named '" + name + "'");
  return *w;
}

Control& Session::control(const std::string& windowDotControl) {
  auto dot = windowDotControl.find('.');
  if (dot == std::string::npos) throw ScriptError("expected WINDOW.CONTROL, not '" + windowDotControl + "'");
  Window& w = window(windowDotControl.substr(0, dot));
  Control* c = w.control(windowDotControl.substr(dot + 1));
  if (!c) throw ScriptError("no control named '" + windowDotControl + "'");
  return *c;
}

bool Session::act(const std::vector<std::string>& w) {
  const std::string& cmd = w[0];
  auto onOff = [&](auto setter) {
    needArgs(w, 1);
    bool on = parseOnOff(w[1]);
    runUntilEnded([&] { setter(on); });
  };
  if (cmd == "start") {
    needArgs(w, 0);
    start();
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
    onOff([&](bool on) { transmitInhibit.set(on); });
  } else if (cmd == "node") {
    // node fail-ptt on|off: EchoLink stops answering SetPTT.
    needArgs(w, 2);
    if (w[1] != "fail-ptt") throw ScriptError("unknown node fault '" + w[1] + "' (fail-ptt)");
    node.setFailPTT(parseOnOff(w[2]));
  } else if (cmd == "speak") {
    // speak "TEXT": an announcement of any text, made as every announcement is (SayTheText, then SpeakTheText).
    needArgs(w, 1);
    Form1& announcer = program().form1();
    runUntilEnded([&] {
      announcer.SayTheText = w[1];
      announcer.SpeakTheText();
    });
  } else if (cmd == "click") {
    needArgs(w, 1);
    Control& c = control(w[1]);
    auto* button = dynamic_cast<CommandButton*>(&c);
    if (!button) throw ScriptError("'" + w[1] + "' is not a button");
    runUntilEnded([&] { button->click(); });
  } else if (cmd == "set") {
    needArgs(w, 2);
    Control& c = control(w[1]);
    bool ok = true;
    runUntilEnded([&] { ok = c.operatorEdit(w[2]); });
    if (!ok) throw ScriptError("'" + w[1] + "' cannot take \"" + w[2] + "\"");
  } else if (cmd == "close") {
    needArgs(w, 1);
    Window& win = window(w[1]);
    runUntilEnded([&] { win.closeRequest(); });
  } else if (cmd == "show") {
    // show WINDOW: the window is loaded when needed and shown (for windows no button opens, such as SipSettings).
    needArgs(w, 1);
    Window& win = window(w[1]);
    runUntilEnded([&] { win.Show(); });
  } else if (cmd == "resize") {
    // resize WINDOW WIDTH HEIGHT, in twips: the window's outer size changes.
    needArgs(w, 3);
    Window& win = window(w[1]);
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
    Window& win = window(w[1]);
    runUntilEnded([&] { win.setState(cmd == "minimize" ? WindowState::Minimized : WindowState::Normal); });
  } else if (cmd == "answer") {
    needArgs(w, 1);
    if (w[1] == "yes")
      prompter.presetAnswer(BoxAnswer::Yes);
    else if (w[1] == "no")
      prompter.presetAnswer(BoxAnswer::No);
    else
      throw ScriptError("answer takes yes or no");
  } else {
    for (auto& extra : extraActions)
      if (extra(w)) return true;
    return false;
  }
  return true;
}

}  // namespace qm
