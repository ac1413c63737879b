// The DTMF command interpreter: the switch-on and switch-off codes, "*#" number requests, "A" to confirm, "DD" to
// hang up, and the directory codes; every request is announced and dialled only after a confirmation in time.
#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "control/announce.h"
#include "directory/buddy.h"
#include "platform/prompter.h"
#include "platform/scheduler.h"
#include "platform/vb_text.h"
#include "skype/incoming_calls.h"

namespace qm {

namespace {
constexpr int kFallbackConfirmationMs = 10000;
// No switch code or directory code can be longer (a settings value holds 255 characters), and no telephone number
// comes near it. A longer string (a stuck decoder, a fault on the link) is not interpreted: announcing it digit by
// digit would hold the transmitter for hours.
constexpr std::size_t kLongestDtmfString = 255;
// The longest number a "*#" request may hold: 15 digits of an international number (E.164) and a dialling prefix of up
// to five. A longer one is refused at once rather than spelled out for a minute with the transmitter keyed.
constexpr std::size_t kLongestNumber = 20;
constexpr int kTooLongPhrase = 21;
// The interpreter's fixed codes: a number request starts with this, A confirms, DD hangs up.
constexpr const char* kRequest = "*#";
constexpr const char* kConfirm = "A";
constexpr const char* kHangUp = "DD";
}  // namespace

bool frmMain::isFixedDtmfCommand(const std::string& digits) {
  return startsWith(digits, kRequest) || digits == kConfirm || digits == kHangUp;
}

bool frmMain::isDtmfCode(const std::string& digits) {
  if (digits.empty()) return false;
  if (isFixedDtmfCommand(digits)) return true;
  if (digits == Enable_DTMF.Text() || digits == Disable_DTMF.Text()) return true;
  if (program_.incoming().isAnswerCode(digits)) return true;
  // With one-time codes the switch-on code is followed by the code of the moment: an attempt, never a node number.
  const std::string& on = Enable_DTMF.Text();
  if (!on.empty() && startsWith(digits, on) && program_.access().oneTimeCodes()) return true;
  for (int i = 0; i < Buddy::kEntries; ++i)
    if (program_.buddy().entry(i).Dtmf.Text() == digits) return true;
  return false;
}

void frmMain::wireDtmf() {
  Check1.Click = [this] { Check1_Click(); };
  Timer3.onTimer = [this] { Timer3_Timer(); };
  mainEvents.DTMFString = [this](const std::string& s) { EchoLink_DTMFString(s); };
  addVariable("RequestPending", {[this] { return std::string(RequestPending ? "true" : "false"); },
                                 [this](const std::string& v) { RequestPending = v == "true"; }});
}

// The operator's confirmation time-out in milliseconds, as the clock mirrors it into TimeOutTime; 10 seconds until
// the clock has first ticked, or when the box holds nothing a timer can take.
int frmMain::confirmationInterval() const {
  auto ms = parseInteger(TimeOutTime.Caption());
  if (!ms || *ms <= 0 || *ms > 65535) return kFallbackConfirmationMs;
  return static_cast<int>(*ms);
}

void frmMain::EchoLink_DTMFString(const std::string& sDigits) {
  if (sDigits.size() > kLongestDtmfString) {
    program_.backends().prompter.show("A DTMF string of " + std::to_string(sDigits.size()) +
                                          " characters was ignored: the longest taken is " +
                                          std::to_string(kLongestDtmfString) + ".",
                                      "", BoxIcon::Warning, BoxButtons::Ok);
    return;
  }
  const std::string digits = sDigits;
  program_.backends().scheduler.processPending();
  Text111.setText(digits);
  // The answer code while a call from the telephone rings, control on: that call goes on the air.
  if (program_.incoming().radioDigits(digits)) return;
  AccessControl& access = program_.access();
  if (access.oneTimeCodes()) {
    if (access.switchOn(digits, Enable_DTMF.Text())) Check1.setValue(1);
  } else if (Enable_DTMF.Text() == digits) {
    Check1.setValue(1);
  }
  if (Disable_DTMF.Text() == digits) Check1.setValue(0);
  auto controlOn = [this] { return Check1.Value() == 1; };

  if (controlOn() && startsWith(Text111.Text(), kRequest)) {
    Text111.setText(replaceAll(Text111.Text(), kRequest, ""));
    TempCall = Text111.Text();
    TempCallHold.setText(Text111.Text());
    if (TempCallHold.Text().size() > kLongestNumber) {
      announce(program_, phrase(program_, kTooLongPhrase));
      refuseRequest();
    } else if (access.permitRadioCall(TempCallHold.Text(), false)) {
      SplitCall();
      RequestPending = true;
      pendingTrusted = false;
      announce(program_, phrase(program_, 1) + " " + TempCall + " . " + phrase(program_, 2));
      Timer3.setInterval(confirmationInterval());
      Timer3.setEnabled(true);
    } else {
      refuseRequest();
    }
  }

  if (controlOn() && digits == kConfirm) {
    if (RequestPending && !access.permitRadioCall(TempCallHold.Text(), pendingTrusted)) {
      refuseRequest();  // the limit was reached while the request waited
    } else if (RequestPending) {
      RequestPending = false;
      Timer3.setEnabled(false);
      txtSend.setText("CALL " + TempCallHold.Text());
      TempCallHold.setText("");
      Dial_Phone();
    } else {
      announce(program_, phrase(program_, 3));
      Text111.setText("");
      RequestPending = false;
      Timer3.setEnabled(false);
    }
  }

  if (controlOn() && digits == kHangUp) HangUp();

  for (int i = 0; i < Buddy::kEntries; ++i) {
    BuddyEntry e = program_.buddy().entry(i);
    if (e.Dtmf.Text() != digits || !controlOn()) continue;
    if (!access.permitRadioCall(e.PhoneOrSkypeName.Text(), e.Trusted.Value() == 1)) {
      refuseRequest();
      continue;
    }
    std::string sentence = phrase(program_, 1) + " " + e.NameOrCallSign.Text() + " . " + phrase(program_, 2);
    TempCall = e.PhoneOrSkypeName.Text();
    TempCallHold.setText(e.PhoneOrSkypeName.Text());
    announce(program_, sentence);
    RequestPending = true;
    pendingTrusted = e.Trusted.Value() == 1;
    Timer3.setInterval(confirmationInterval());
    Timer3.setEnabled(true);
  }
}

// A refused request replaces whatever was pending: nothing is left to confirm.
void frmMain::refuseRequest() {
  TempCallHold.setText("");
  RequestPending = false;
  pendingTrusted = false;
  Timer3.setEnabled(false);
}

void frmMain::Check1_Click() {
  if (Check1.Value() == 2) {
    Check1.setValue(0);  // a greyed box counts as off: the change to 0 announces it
    return;
  }
  PTT.setBackColor(255);
  PTT.setText("PTT ON");
  announce(program_, phrase(program_, Check1.Value() == 1 ? 4 : 5));
}

void frmMain::Timer3_Timer() {
  TempCallHold.setText("");
  RequestPending = false;
  announce(program_, phrase(program_, 3));
  Timer3.setEnabled(false);
}

}  // namespace qm
