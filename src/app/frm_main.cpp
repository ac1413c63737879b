#include "app/frm_main.h"

#include <algorithm>
#include <stdexcept>

#include "app/program.h"
#include "app/version.h"
#include "courtesy/form21.h"
#include "directory/buddy.h"
#include "echolink/echolink_app.h"
#include "history/form_history.h"
#include "platform/clock_format.h"
#include "platform/instance_lock.h"
#include "platform/prompter.h"
#include "platform/scheduler.h"
#include "platform/vb_text.h"
#include "skype/mod_main.h"
#include "speech/form1.h"

namespace qm {

frmMain::frmMain(Program& program)
    : Window(program.registry(), "frmMain", "Form1"),
      // The timers that run from the start are started by the load once it may run (startTimers), so a refused
      // start never ticks, keys or attaches while its box is up.
      DateTime(*this, "DateTime", program.backends().scheduler, 1000, false),
      Timer1(*this, "Timer1", program.backends().scheduler, 1000, false),
      Timer2(*this, "Timer2", program.backends().scheduler, 1000, false),
      Timer4(*this, "Timer4", program.backends().scheduler, 1000, false),
      Timer3(*this, "Timer3", program.backends().scheduler, 0, false),
      Timer5(*this, "Timer5", program.backends().scheduler, 1000, false),
      Timer7(*this, "Timer7", program.backends().scheduler, 3000, false),
      program_(program) {
  layOut();
  txtData.multiLine = true;
  addVariable("TempCall", {[this] { return TempCall; }, [this](const std::string& v) { TempCall = v; }});
  addVariable("MinHeight", {[this] { return std::to_string(MinHeight); }, {}});
  addVariable("MinWidth", {[this] { return std::to_string(MinWidth); }, {}});
  addVariable("DataRightMargin", {[this] { return std::to_string(DataRightMargin); }, {}});
  addVariable("DataBottomMargin", {[this] { return std::to_string(DataBottomMargin); }, {}});

  DateTime.onTimer = [this] { DateTime_Timer(); };
  Command19.Click = [this] { program_.buddy().Show(); };
  Command2.Click = [this] { program_.form1().Show(); };
  Command6.Click = [this] { program_.form21().Show(); };
  Command8.Click = [this] { program_.history().Show(); };
  Command7.Click = [this] { SaveData(); };
  Command5.Click = [this] { showAbout(); };
  Command16.Click = [this] { txtData.setText(""); };
  cmdExit.Click = [this] { program_.end(); };
  wireSkype();
  wireSpeech();
  wireDtmf();
  wireTimeout();
  wireTextServices();
}

frmMain::~frmMain() = default;

void frmMain::closeRequest() {
  program_.end();
}

void frmMain::Form_Load() {
  Backends& b = program_.backends();
  // Steps 1 to 4 run before the error trap: a node that cannot be reached ends the program.
  std::string callsign;
  try {
    EchoLink = b.node.createApp();
    // Until the checks below have passed only the node's closing is heard: a refused start acts on nothing.
    EchoLink->events.Closing = [this] {
      try {
        EchoLink->SetPTT(false);
      } catch (const std::exception&) {
        // the transmitter could not be unkeyed; the program ends all the same
      }
      program_.end();
    };
    callsign = Program::localCallsign(*EchoLink);
  } catch (const std::exception& e) {
    b.prompter.show(std::string("EchoLink cannot be reached: ") + e.what(), "", BoxIcon::Critical, BoxButtons::Ok);
    program_.end();
  }
  if (callsign.find('-') == std::string::npos) {
    b.prompter.show(
        "                    This Program ONLY Runs in Sysop Mode\r\n\r\n"
        "Run EchoLink as a link (-L) or repeater (-R) node; see the README that came with Quillmere for details.",
        "", BoxIcon::None, BoxButtons::Ok);
    program_.end();
  }
  if (b.instanceLock.anotherCopyRunning()) {
    b.prompter.show("Program is already running.", "", BoxIcon::None, BoxButtons::Ok);
    program_.end();
  }
  if (b.startNode) b.startNode();
  startTimers();
  EchoLinkEvents events = mainEvents;
  events.Closing = EchoLink->events.Closing;
  EchoLink->events = events;

  program_.trap("Form_Load", [&] {
    modMain_->prepare();
    txtSend.setEnabled(false);
    cmdSend.setEnabled(false);
    const Rect& screen = b.screen;
    Rect g = geometry();
    setGeometry({(screen.width - g.width) / 2, (screen.height - g.height) / 2, g.width, g.height});
    MinHeight = geometry().height;
    MinWidth = geometry().width;
    const Rect& d = fraData.geometry();
    DataBottomMargin = geometry().height - (d.top + d.height);
    DataRightMargin = geometry().width - (d.left + d.width);
    setCaption(Program::titleFor(Program::localCallsign(*EchoLink)));
    loadSettings();
    // The other windows load hidden, each reading its own settings; one already loaded by a setting stays so.
    program_.buddy().Hide();
    program_.form1().Hide();
    program_.form21().Hide();
    program_.history().Hide();
    Callsign.setText(Program::localCallsign(*EchoLink));
    Prog.setText(kProductName);
    Ver.setText(versionText());
    SaveUserData();
  });
}

void frmMain::startTimers() {
  for (Timer* t : {&DateTime, &Timer1, &Timer2, &Timer4, &Timer3}) t->setEnabled(true);
}

void frmMain::SplitCall() {
  TempCall = spellOut(TempCall);
}

void frmMain::DateTime_Timer() {
  auto now = program_.backends().scheduler.now();
  Label17.setCaption(formatLongTime(now));
  Label18.setCaption(formatShortDate(now));
  // The box takes digits only and is refilled when emptied; anything else leaves the last good value in place.
  if (auto seconds = parseNumber(TimeOutTimeSeconds.Text())) TimeOutTime.setCaption(formatNumber(*seconds * 1000));
  Frame11.setVisible(!startsWith(Label10.Caption(), "*"));
}

void frmMain::Form_Resize() {
  if (state() == WindowState::Minimized || MinWidth == 0) return;  // nothing to keep before the load measured it
  program_.trap("Form_Resize", [&] {
    int h = std::max(geometry().height, MinHeight);
    int w = std::max(geometry().width, MinWidth);
    const Rect& d = fraData.geometry();
    fraData.setGeometry({d.left, d.top, w - (d.left + DataRightMargin), h - (d.top + DataBottomMargin)});
    const Rect& c = fraCommunicate.geometry();
    fraCommunicate.setGeometry({c.left, c.top, w - (fraData.geometry().left + DataRightMargin), c.height});
  });
}

void frmMain::showAbout() {
  program_.backends().prompter.show(
      std::string(kProductName) + " v" + versionText() +
          ": DTMF-controlled telephone gateway and repeater controller for EchoLink nodes.",
      "", BoxIcon::None, BoxButtons::Ok);
}

}  // namespace qm
