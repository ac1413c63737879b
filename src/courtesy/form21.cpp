// The courtesy window's shell: its load, its settings file, the "Save" and "Hide" buttons, closing it, and the two
// boxes whose edits set timer intervals at once.
#include "courtesy/form21.h"

#include <cmath>
#include <optional>

#include "app/program.h"
#include "app/settings_file.h"
#include "courtesy/courtesy_settings_table.h"
#include "echolink/echolink_app.h"
#include "platform/scheduler.h"
#include "platform/vb_text.h"

namespace qm {

namespace {

constexpr const char* kFile = kCourtesySettingsFile;

// A window position: generous enough for any screen arrangement, small enough to stay a sane number of twips.
constexpr double kMaxPosition = 1'000'000;

// A timer interval typed into a box: a whole number of milliseconds the timer can take, or nothing.
std::optional<int> intervalIn(const std::string& text) {
  auto v = parseInteger(text);
  if (!v || *v < 0 || *v > 65535) return std::nullopt;
  return static_cast<int>(*v);
}

// LEFT or TOP: any number of twips, rounded to a whole one; anything else is reported and the default used.
int position(const SettingsReader& in, const char* key) {
  constexpr int kDefault = 300;
  std::string stored = in.text(key, std::to_string(kDefault));
  auto v = parseNumber(stored);
  if (v && std::fabs(*v) <= kMaxPosition) return static_cast<int>(std::lround(*v));
  in.reportBad(key, stored, "is not a position in twips", std::to_string(kDefault));
  return kDefault;
}

}  // namespace

Form21::Form21(Program& program)
    : Window(program.registry(), "Form21", "Tollwick"),
      Kerchunker(*this, "Kerchunker", program.backends().scheduler, 3000, false),
      KickBackCheck(*this, "KickBackCheck", program.backends().scheduler, 500, false),
      Timer3(*this, "Timer3", program.backends().scheduler, 10, true),
      Timer4(*this, "Timer4", program.backends().scheduler, 10, true),
      Beacon7(*this, "Beacon7", program.backends().scheduler, 1000, true),
      program_(program) {
  layOut();
  OK2Kerchunk.setVisible(false);
  addVariable("PendingID", {[this] { return PendingID; }, [this](const std::string& v) { PendingID = v; }});
  addVariable("IdentCount", {[this] { return std::to_string(IdentCount); },
                             [this](const std::string& v) {
                               if (auto n = parseInteger(v)) IdentCount = *n;
                             }});

  HangTime.Change = [this] { HangTime_Change(); };
  KerchunkWait.Change = [this] { KerchunkWait_Change(); };
  Command1.Click = [this] { Hide(); };
  Command2.Click = [this] { SaveData(); };
  Command10.Click = [this] { Command10_Click(); };
  Command11.Click = [this] { Command11_Click(); };
  SendCW.Click = [this] { SendCW_Click(); };
  Kerchunker.onTimer = [this] { Kerchunker_Timer(); };
  KickBackCheck.onTimer = [this] { KickBackCheck_Timer(); };
  Timer3.onTimer = [this] { Timer3_Timer(); };
  Timer4.onTimer = [this] { Timer4_Timer(); };
  Timer3.setPollReading([this](std::string& out) { Timer3_Reading(out); });
  Timer4.setPollReading([this](std::string& out) { Timer4_Reading(out); });
  Beacon7.onTimer = [this] { Beacon7_Timer(); };
}

Form21::~Form21() = default;

void Form21::Form_Load() {
  EchoLink = program_.backends().node.createApp();
  EchoLink->events.CarrierDetect = [this](bool bCD) { EchoLink_CarrierDetect(bCD); };
  EchoLink->events.RX = [this](bool bRX) { EchoLink_RX(bRX); };
  EchoLink->events.Closing = [this] {
    try {
      EchoLink->SetPTT(false);
    } catch (const std::exception&) {
      // the transmitter could not be unkeyed; the program ends all the same
    }
    program_.end();
  };
  setCaption(Program::titleFor(Program::localCallsign(*EchoLink)));
  loadSettings();
  PendingID = kNotOwed;
  // The edit rules have set the intervals already when a box changed; this covers the boxes that kept their text.
  if (auto ms = intervalIn(KerchunkWait.Text())) Kerchunker.setInterval(*ms);
  if (auto ms = intervalIn(HangTime.Text())) KickBackCheck.setInterval(*ms);
}

void Form21::loadSettings() {
  SettingsReader in(program_, program_.backends().folders.machineWide(kFile), "Form_Load");
  CourtesyID.setText(in.text("COURTESYID", "K"));
  IPCourtesy.setText(in.text("IPCOURTESY", "I"));
  HangTime.setText(in.text("HANGTIME", "500"));
  KerchunkWait.setText(in.text("KERCHUNKWAIT", "3000"));
  Check1.setValue(in.checkValue("Check1", 1));
  StopClock7.setValue(in.checkValue("STOPCLOCK7", 0));
  LongID.setText(in.text("LONGID", "5"));
  CWCallsign.setText(in.text("CWCALLSIGN", "Your Call"));
  CWCallsignLong.setText(in.text("CWCALLSIGNLONG", "Your Call & QRA"));
  BeaconPeriod7.setText(in.text("BEACONPERIOD7", "15"));
  UseLongCheck.setValue(in.checkValue("USELONGCHECK", 0));
  Rect g = geometry();
  setGeometry({position(in, "LEFT"), position(in, "TOP"), g.width, g.height});

  // A box that holds no usable interval keeps the box's text (it is saved as it stands) and the timer's last one.
  if (!intervalIn(HangTime.Text()))
    in.reportBad("HANGTIME", HangTime.Text(), "is not a whole number of milliseconds from 0 to 65535",
                 std::to_string(KickBackCheck.Interval()));
  if (!intervalIn(KerchunkWait.Text()))
    in.reportBad("KERCHUNKWAIT", KerchunkWait.Text(), "is not a whole number of milliseconds from 0 to 65535",
                 std::to_string(Kerchunker.Interval()));
}

void Form21::SaveData() {
  SettingsWriter out(program_, program_.backends().folders.machineWide(kFile));
  out.write("COURTESYID", CourtesyID.Text());
  out.write("IPCOURTESY", IPCourtesy.Text());
  out.write("HANGTIME", HangTime.Text());
  out.write("KERCHUNKWAIT", KerchunkWait.Text());
  out.write("CHECK1", std::to_string(Check1.Value()));
  out.write("CWCALLSIGN", CWCallsign.Text());
  out.write("CWCALLSIGNLONG", CWCallsignLong.Text());
  out.write("LONGID", LongID.Text());
  out.write("BEACONPERIOD7", BeaconPeriod7.Text());
  out.write("STOPCLOCK7", std::to_string(StopClock7.Value()));
  out.write("USELONGCHECK", std::to_string(UseLongCheck.Value()));
  out.write("LEFT", std::to_string(geometry().left));
  out.write("TOP", std::to_string(geometry().top));
  out.finish();
}

void Form21::closeRequest() {
  program_.end();
}

// While the box holds no usable interval (an empty box while the operator retypes it, letters, a number out of
// range), the timer keeps the interval it had.
void Form21::HangTime_Change() {
  if (auto ms = intervalIn(HangTime.Text())) KickBackCheck.setInterval(*ms);
}

void Form21::KerchunkWait_Change() {
  if (auto ms = intervalIn(KerchunkWait.Text())) Kerchunker.setInterval(*ms);
}

void Form21::reportFailure(const char* procedure, const std::exception& e) {
  if (failing_.insert(procedure).second)
    program_.internalError(procedure, std::string(e.what()) + "\r\nThe step was skipped; the window goes on.");
}

}  // namespace qm
