// The CW identifier: a countdown of seconds in BeaconSeconds7, an identification each time it reaches zero, and
// never over a busy channel: an identification that comes due while the channel is busy is owed (PendingID "1") and
// goes out at the first tick that finds the channel clear. Every LongID-th identification may be the long text.
//
// The once-a-second tick skips a step that fails and goes on with the next; the timer itself never stops.
#include <algorithm>
#include <cmath>

#include "app/program.h"
#include "courtesy/form21.h"
#include "echolink/echolink_app.h"
#include "platform/scheduler.h"
#include "platform/vb_text.h"

namespace qm {

namespace {
constexpr const char* kTick = "Beacon7_Timer";
// The longest period the countdown takes, in seconds (about 68 years).
constexpr double kMaxPeriodSeconds = 2147483647.0;
}  // namespace

void Form21::Beacon7_Timer() {
  // Events and ticks already waiting run first, so the state read below is current.
  try {
    program_.backends().scheduler.processPending();
  } catch (const std::exception& e) {
    reportFailure(kTick, e);
  }
  if (BeaconPeriod7.Text() == "0") BeaconPeriod7.setText("1");
  if (StopClock7.Value() != 0) {
    if (auto left = parseInteger(BeaconSeconds7.Caption())) BeaconSeconds7.setCaption(std::to_string(*left - 1));
  }
  if (BeaconSeconds7.Caption() == "0") {
    // The schedule restarts at once, whether this identification goes out now or is owed.
    BeaconSeconds7.setCaption(std::to_string(periodSeconds()));
    if (channelBusy())
      PendingID = kOwed;
    else
      sendIdent();
  }
  if (PendingID == kOwed && !channelBusy()) {  // the channel is read only when something is owed
    sendIdent();
    PendingID = kNotOwed;
  }
}

// The period in whole seconds. A fraction of a second is rounded (at least one second), so the countdown always
// reaches zero again; a period that is no positive number keeps the last usable one, and says so once.
std::int64_t Form21::periodSeconds() {
  const std::string& text = BeaconPeriod7.Text();
  auto minutes = parseNumber(text);
  if (minutes && *minutes > 0 && *minutes * 60 <= kMaxPeriodSeconds) {
    lastGoodPeriod_ = std::max<std::int64_t>(1, std::llround(*minutes * 60));
    reportedPeriod_.clear();
    return lastGoodPeriod_;
  }
  if (text != reportedPeriod_) {
    reportedPeriod_ = text;
    std::int64_t s = lastGoodPeriod_;
    std::string every = s % 60 != 0 ? std::to_string(s) + (s == 1 ? " second" : " seconds")
                                    : std::to_string(s / 60) + (s == 60 ? " minute" : " minutes");
    program_.internalError(kTick, "The identification period \"" + text +
                                      "\" is not a number of minutes above 0; the identifier goes on every " + every +
                                      ".");
  }
  return lastGoodPeriod_;
}

// Busy when the carrier display or the carrier says so, either busy state is set, or the transmitter is keyed. A
// state that cannot be read counts as busy: better a late identification than one over a user.
bool Form21::channelBusy() {
  if (RFUser.Text() == kReceivingRF || PTT.Text() == kPttOn) return true;
  bool busy = true;
  call(kTick, [&] { busy = EchoLink->BusyStateA() || EchoLink->BusyStateB() || EchoLink->CarrierState(); });
  return busy;
}

void Form21::sendIdent() {
  if (UseLongCheck.Value() != 1) {
    playCW(kTick, CWCallsign.Text());
    return;
  }
  ++IdentCount;
  // A LongID that is no number gives short identifications until it is one again; the count goes on meanwhile.
  auto every = parseNumber(LongID.Text());
  if (every && static_cast<double>(IdentCount) >= *every) {
    playCW(kTick, CWCallsignLong.Text());
    IdentCount = 0;
  } else {
    playCW(kTick, CWCallsign.Text());
  }
}

// "Send ID": the short identification at once, or owed to the next clear tick while a carrier is present (the
// tick then counts it towards the long identification).
void Form21::SendCW_Click() {
  if (CWCallsign.Text().empty()) CWCallsign.setText(" ");
  bool carrier = RFUser.Text() == kReceivingRF;
  if (!carrier && !call("SendCW_Click", [&] { carrier = EchoLink->CarrierState(); })) carrier = true;
  if (carrier)
    PendingID = kOwed;
  else
    playCW("SendCW_Click", CWCallsign.Text());
}

}  // namespace qm
