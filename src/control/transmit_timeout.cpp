// The transmit time-out: while the channel is busy in either direction the counter counts down once a second from
// the configured minutes, and every idle second reloads it. When it runs out the call that is up is hung up (nothing
// is sent when none is), "Time Out" shows in red, the time-out is announced a second later and counting resumes after
// three seconds. Also the two digits-only setting boxes.
//
// Mins 0 turns the time-out off: the counter reads 0 and never counts, beeps or times out. Counting down from
// nothing would time out on every tick, keying an unattended transmitter and announcing every four seconds on an
// idle channel, forever.
#include "app/frm_main.h"
#include "app/program.h"
#include "control/announce.h"
#include "platform/bell.h"
#include "platform/vb_text.h"

namespace qm {

namespace {
constexpr Colour kDarkGrey = rgb(64, 64, 64);
}

void frmMain::wireTimeout() {
  Timer2.onTimer = [this] { Timer2_Timer(); };
  Timer5.onTimer = [this] { Timer5_Timer(); };
  Timer7.onTimer = [this] { Timer7_Timer(); };
  Mins.Change = [this] { Mins_Change(); };
  TimeOutTimeSeconds.Change = [this] { TimeOutTimeSeconds_Change(); };
}

// Mins x 60; a box that holds no number (only code can put one there) counts as 0 minutes.
double frmMain::timeoutSeconds() const {
  return parseNumber(Mins.Text()).value_or(0) * 60;
}

void frmMain::Timer2_Timer() {
  if (timeoutSeconds() <= 0) {
    Counter.setCaption(formatNumber(0));
    return;
  }
  bool busy = PTT1.Text() == "IP  TX  ON" || PTT.Text() == "PTT ON" || RFUser.Text() == "Receiving  RF";
  double count;
  if (busy) {
    // During the recovery after a time-out the counter reads "Time Out": count down from the full time instead.
    count = parseNumber(Counter.Caption()).value_or(timeoutSeconds()) - 1;
  } else {
    count = timeoutSeconds();
  }
  Counter.setCaption(formatNumber(count));
  if (count <= 10 && program_.backends().bell) program_.backends().bell->beep();
  if (count <= 1) {
    HangUp();
    Counter.setForeColor(kDarkGrey);
    Counter.setBackColor(255);
    Counter.setCaption("Time Out");
    Timer2.setEnabled(false);
    Timer7.setEnabled(true);
    Timer5.setEnabled(true);
  }
}

void frmMain::Timer5_Timer() {
  announce(program_, phrase(program_, 6));
  Timer5.setEnabled(false);
}

void frmMain::Timer7_Timer() {
  Counter.setCaption(formatNumber(timeoutSeconds()));
  Counter.setBackColor(kButtonFace);
  Counter.setForeColor(kDarkGrey);
  Timer7.setEnabled(false);
  Timer2.setEnabled(true);
}

void frmMain::Mins_Change() {
  Mins.setDigitsOnly(true);
  if (Mins.Text().empty()) Mins.setText("0");
  Counter.setCaption(formatNumber(timeoutSeconds()));
}

void frmMain::TimeOutTimeSeconds_Change() {
  TimeOutTimeSeconds.setDigitsOnly(true);
  if (TimeOutTimeSeconds.Text().empty()) TimeOutTimeSeconds.setText("1");
}

}  // namespace qm
