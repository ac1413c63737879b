// Courtesy letters, hang time and anti-kerchunk, and the four status displays.
//
// A carrier rise starts the one-shot Kerchunker; if the carrier is still there when it runs out, the transmission is
// qualified (OK2Kerchunk "Yes") and the hang-time poll KickBackCheck starts. The first poll tick that finds the
// carrier gone sends the RF letter and re-arms the filter. A transmission shorter than the wait is a kerchunk and gets
// nothing. The internet letter goes out whenever network audio stops, with no hang time and no filter.
#include "app/frm_main.h"
#include "app/program.h"
#include "control/transmit_time.h"
#include "courtesy/form21.h"
#include "echolink/echolink_app.h"

namespace qm {

namespace {

const std::string kYes = "Yes", kNo = "No";

struct Display {
  const std::string onText;
  Colour onColour;
  const std::string offText;
};

const Display kReceive{Form21::kReceivingRF, rgb(255, 192, 128), Form21::kRxStandby};
const Display kTransmit{Form21::kPttOn, rgb(255, 0, 0), Form21::kPttOff};
const Display kInternet{Form21::kIpTxOn, rgb(0, 255, 255), Form21::kIpTxOff};
const Display kFilter{Form21::kClearToSend, rgb(128, 255, 128), Form21::kKerchunkerSet};

// Setting what a box already shows changes nothing, so the 10 ms refresh costs two comparisons per box.
void show(TextBox& box, const Display& d, bool on) {
  box.setText(on ? d.onText : d.offText);
  box.setBackColor(on ? d.onColour : kButtonFace);
}

void readBox(std::string& out, const TextBox& box) {
  const Colour colour = box.BackColor();
  out += box.Text();
  out += '\0';
  out.append(reinterpret_cast<const char*>(&colour), sizeof colour);
}

// A node state as a poll finds it: on, off, failing, or no node yet.
template <typename F>
char readNode(const std::unique_ptr<EchoLinkApp>& app, F&& state) {
  if (!app) return '-';
  try {
    return state(*app) ? '1' : '0';
  } catch (const std::exception&) {
    return '!';
  }
}

}  // namespace

void Form21::EchoLink_CarrierDetect(bool bCD) {
  if (bCD)
    Kerchunker.setEnabled(true);  // a rise while it runs keeps its phase
  else
    KickBackCheck.setEnabled(true);
}

void Form21::Kerchunker_Timer() {
  Kerchunker.setEnabled(false);
  bool carrier = false;
  if (!call("Kerchunker_Timer", [&] { carrier = EchoLink->CarrierState(); })) return;  // left unqualified
  if (carrier) {
    OK2Kerchunk.setCaption(kYes);
    KickBackCheck.setEnabled(true);
  }
}

void Form21::KickBackCheck_Timer() {
  bool carrier = false;
  if (!call("KickBackCheck_Timer", [&] { carrier = EchoLink->CarrierState(); })) return;
  if (carrier || OK2Kerchunk.Caption() != kYes) return;  // after a kerchunk the poll ticks on until a letter
  KickBackCheck.setEnabled(false);
  if (Check1.Value() == 1) playCW("KickBackCheck_Timer", CourtesyID.Text());
  OK2Kerchunk.setCaption(kNo);
}

void Form21::EchoLink_RX(bool bRX) {
  if (!bRX && Check1.Value() == 1) playCW("EchoLink_RX", IPCourtesy.Text());
  show(PTT1, kInternet, bRX);
  show(program_.main().PTT1, kInternet, bRX);
}

void Form21::Timer3_Timer() {
  bool carrier = false;
  if (!call("Timer3_Timer", [&] { carrier = EchoLink->CarrierState(); })) return;  // the display keeps its state
  show(RFUser, kReceive, carrier);
  show(program_.main().RFUser, kReceive, carrier);
}

void Form21::Timer4_Timer() {
  bool keyed = false;
  if (call("Timer4_Timer", [&] { keyed = EchoLink->PTTState(); })) {
    program_.transmitTime().sample(keyed);  // the node keys by itself too: this poll sees every keying
    show(PTT, kTransmit, keyed);
    show(program_.main().PTT, kTransmit, keyed);
  }
  show(Kerchunk, kFilter, OK2Kerchunk.Caption() != kNo);
}

// The node's published states wake the program's thread when they change, so a poll that rests misses nothing.
void Form21::Timer3_Reading(std::string& out) {
  out.clear();
  out += readNode(EchoLink, [](EchoLinkApp& app) { return app.CarrierState(); });
  readBox(out, RFUser);
  readBox(out, program_.main().RFUser);
}

void Form21::Timer4_Reading(std::string& out) {
  out.clear();
  out += readNode(EchoLink, [](EchoLinkApp& app) { return app.PTTState(); });
  out += OK2Kerchunk.Caption();
  out += '\0';
  readBox(out, PTT);
  readBox(out, program_.main().PTT);
  readBox(out, Kerchunk);
}

void Form21::Command10_Click() {
  if (Check1.Value() == 1) playCW("Command10_Click", CourtesyID.Text());
}

void Form21::Command11_Click() {
  if (Check1.Value() == 1) playCW("Command11_Click", IPCourtesy.Text());
}

// A letter that EchoLink does not take is lost, not queued: a late courtesy letter would only confuse.
void Form21::playCW(const char* procedure, const std::string& text) {
  call(procedure, [&] { EchoLink->PlayCW(0, text); });
}

}  // namespace qm
