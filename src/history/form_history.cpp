#include "history/form_history.h"

#include "app/program.h"
#include "app/settings_file.h"
#include "echolink/echolink_app.h"
#include "history/history_log.h"
#include "platform/clock_format.h"
#include "platform/scheduler.h"

namespace qm {

namespace {
constexpr const char* kFile = "quillmere_history.ini";
constexpr int kClientWidth = 7215, kClientHeight = 5040;
}  // namespace

FormHistory::FormHistory(Program& program)
    : Window(program.registry(), "FormHistory", "Connect & RF History"), program_(program) {
  layOut();
  CallHistory.multiLine = true;
  CallHistory.setBackColor(kInfoBackground);
  Command5.setToolTip("Clear the Call History");
  Command7.setToolTip("Hide this screen");
  Command19.setToolTip("Save the changes made");
  Command5.Click = [this] { CallHistory.setText(""); };
  Command7.Click = [this] { Hide(); };
  Command19.Click = [this] { SaveData(); };
}

FormHistory::~FormHistory() = default;

void FormHistory::layOut() {
  setGeometry({0, 0, kClientWidth + kBorderWidth, kClientHeight + kBorderHeight});
  place({
      {Frame13, "", {120, 60, 6975, 3855}},
      {CallHistory, "Frame13", {120, 240, 6735, 3495}},
      {Check8, "", {120, 4020, 1815, 315}},
      {Check10, "", {2040, 4020, 1335, 315}},
      {Check11, "", {3480, 4020, 1335, 315}},
      {DTMF, "", {4920, 4020, 1455, 315}},
      {Command5, "", {120, 4500, 1335, 375}},
      {Command7, "", {1560, 4500, 1335, 375}},
      {Command19, "", {5460, 4500, 1635, 375}},
  });
}

void FormHistory::Form_Load() {
  EchoLink = program_.backends().node.createApp();
  EchoLink->events.connected = [this](const std::string& call, const std::string& name, const std::string& addr) {
    EchoLink_connected(call, name, addr);
  };
  EchoLink->events.Disconnected = [this](const std::string& call) { EchoLink_Disconnected(call); };
  EchoLink->events.CarrierDetect = [this](bool cd) { EchoLink_CarrierDetect(cd); };
  EchoLink->events.DTMFString = [this](const std::string& digits) { EchoLink_DTMFString(digits); };
  setCaption(Program::titleFor(Program::localCallsign(*EchoLink)) + "       Connect & RF History");
  loadSettings();
}

void FormHistory::loadSettings() {
  // A value other than 0, 1 or 2 is named in a message and the box starts unticked.
  SettingsReader in(program_, program_.backends().folders.machineWide(kFile), "Form_Load");
  Check8.setValue(in.checkValue("CHECK8", 0));
  Check10.setValue(in.checkValue("CHECK10", 0));
  Check11.setValue(in.checkValue("CHECK11", 0));
  DTMF.setValue(in.checkValue("DTMF", 0));
}

void FormHistory::SaveData() {
  SettingsWriter out(program_, program_.backends().folders.machineWide(kFile));
  out.write("CHECK8", std::to_string(Check8.Value()));
  out.write("CHECK10", std::to_string(Check10.Value()));
  out.write("CHECK11", std::to_string(Check11.Value()));
  out.write("DTMF", std::to_string(DTMF.Value()));
  out.finish();
}

void FormHistory::closeRequest() {
  // The window goes, its subscription stays (an event sink outlives the window that set it up): while the window is
  // discarded, the next event it logs loads it again and is logged there. The reloaded
  // window has a subscription of its own, so the kept one does nothing while the window is loaded.
  Program& program = program_;
  std::unique_ptr<EchoLinkApp> kept = std::move(EchoLink);
  if (!kept) {  // the load never got as far as subscribing
    program.unloadHistory();
    return;
  }
  kept->events = {};
  kept->events.connected = [&program](const std::string& call, const std::string& name, const std::string& addr) {
    if (!program.historyLoaded()) program.history().EchoLink_connected(call, name, addr);
  };
  kept->events.Disconnected = [&program](const std::string& call) {
    if (!program.historyLoaded()) program.history().EchoLink_Disconnected(call);
  };
  kept->events.CarrierDetect = [&program](bool cd) {
    if (!program.historyLoaded()) program.history().EchoLink_CarrierDetect(cd);
  };
  kept->events.DTMFString = [&program](const std::string& digits) {
    if (!program.historyLoaded()) program.history().EchoLink_DTMFString(digits);
  };
  program.unloadHistory();  // destroys this window
  program.keepSubscription("FormHistory", std::move(kept));
}

std::string FormHistory::stamp() const {
  Scheduler& clock = program_.backends().scheduler;
  std::string date = formatShortDate(clock.now());
  std::string time = formatLongTime(clock.now());
  return date + " at " + time;
}

void FormHistory::appendLine(const std::string& line) {
  std::string entry = line + "\r\n";
  const std::string& log = CallHistory.Text();
  if (log.size() + entry.size() > kLogCapacity) {
    // Drop the oldest lines, whole, down to three quarters of the capacity: one copy per quarter of the capacity
    // appended keeps each append constant time on average.
    std::size_t excess = log.size() + entry.size() - kLogCapacity / 4 * 3;
    std::size_t end = excess > log.size() ? std::string::npos : log.find("\r\n", excess < 2 ? 0 : excess - 2);
    CallHistory.setText(end == std::string::npos ? std::string() : log.substr(end + 2));
  }
  CallHistory.appendText(entry);
  program_.historyLog().append(line);
}

void FormHistory::EchoLink_connected(const std::string& sCallConnected, const std::string&, const std::string& sAddr) {
  if (Check8.Value() == 1) appendLine(sCallConnected + " Connected - " + stamp() + " -- " + sAddr);
}

void FormHistory::EchoLink_Disconnected(const std::string& sCall) {
  if (Check8.Value() == 1) appendLine(sCall + " Disconnected - " + stamp());
}

void FormHistory::EchoLink_CarrierDetect(bool bCD) {
  if (bCD && Check10.Value() == 1) appendLine("RF Received -- " + stamp());
  if (!bCD && Check11.Value() == 1) appendLine("RF Ended -- " + stamp());
}

void FormHistory::logEvent(const std::string& what) {
  appendLine(what + " -- " + stamp());
}

void FormHistory::EchoLink_DTMFString(const std::string& sDigits) {
  if (DTMF.Value() == 1) appendLine("DTMF -- " + sDigits + " -- " + stamp());
}

}  // namespace qm
