#include "sip/sip_registration.h"

#include <algorithm>

namespace qm {
namespace {

int ms(std::chrono::milliseconds d) {
  return static_cast<int>(d.count());
}

// What to check after a refusal, by its status.
std::string advice(int code) {
  if (code == 401 || code == 403 || code == 407) return "; check the user name and the password in the SIP settings";
  if (code == 404) return "; check the account in the SIP settings";
  return "";
}

}  // namespace

SipRegistration::SipRegistration(Scheduler& scheduler, BaresipAgent& agent)
    : agent_(agent),
      noAnswer_(host_, "noAnswer", scheduler, ms(kNoAnswerLimit), false),
      retry_(host_, "retry", scheduler, ms(kFirstRetry), false),
      attemptLimit_(host_, "attemptLimit", scheduler, ms(kAttemptLimit), false) {
  noAnswer_.onTimer = [this] {
    noAnswer_.setEnabled(false);
    if (inFlight_ && state_ != State::NoAnswer)
      failed("nothing heard in " + std::to_string(kNoAnswerLimit.count() / 1000) + " s");
  };
  retry_.onTimer = [this] {
    retry_.setEnabled(false);
    if (state_ != State::Registered && state_ != State::Off) attempt(false);
  };
  attemptLimit_.onTimer = [this] {
    attemptLimit_.setEnabled(false);
    inFlight_ = false;
  };
}

void SipRegistration::configure(const SipSettings& settings) {
  registers_ = settings.registers();
  line_ = baresipAccountLine(settings);
  aor_ = settings.account;
  registrar_ = settings.outbound.empty() ? settings.accountDomain() : settings.outbound;
  if (!registers_) {
    retry_.setEnabled(false);
    noAnswer_.setEnabled(false);
    state_ = State::Off;
  }
}

std::string SipRegistration::account() const {
  return "SIP account " + aor_;
}

void SipRegistration::change(State state, const std::string& text) {
  if (state == state_) return;
  state_ = state;
  if (onChange) onChange(state, text);
}

void SipRegistration::agentReady() {
  added_ = false;
  inFlight_ = false;
  retries_ = 0;
  if (!registers_) return;
  state_ = State::Off;  // a new run of baresip: its first attempt is told again
  attempt(true);
}

void SipRegistration::agentDown() {
  added_ = false;
  inFlight_ = false;
  noAnswer_.setEnabled(false);
  retry_.setEnabled(false);
  attemptLimit_.setEnabled(false);
}

void SipRegistration::attempt(bool first) {
  if (!registers_ || !agent_.ready()) return;
  if (callUp && callUp()) return retryLater();  // a new attempt would end the call
  if (added_) agent_.send("uadel", aor_, "register uadel");
  agent_.send("uanew", line_, "register uanew");
  added_ = true;
  inFlight_ = true;
  noAnswer_.setEnabled(false);
  noAnswer_.setEnabled(true);
  attemptLimit_.setEnabled(false);
  attemptLimit_.setEnabled(true);
  if (remark && !first) remark("registering " + aor_ + " again");
  if (first) change(State::Registering, account() + ": registering with " + registrar_);
}

std::chrono::milliseconds SipRegistration::nextRetry() const {
  auto delay = kFirstRetry;
  for (int i = 0; i < retries_ && delay < kLongestRetry; ++i) delay *= 2;
  return std::min(delay, kLongestRetry);
}

void SipRegistration::retryLater() {
  retry_.setInterval(ms(nextRetry()));
  ++retries_;
  retry_.setEnabled(false);
  retry_.setEnabled(true);
}

void SipRegistration::failed(const std::string& reason) {
  int code = sipStatusOf(reason);
  reason_ = reason;
  if (code >= 300 && code < 500) {
    change(State::Refused, account() + ": the provider refused the registration: " + reason + advice(code));
    return;
  }
  if (code >= 600) {
    change(State::Refused, account() + ": the provider refused the registration: " + reason);
    return;
  }
  auto next = nextRetry();
  std::string what = code >= 500 ? "the provider could not take the registration: " + reason
                                 : "no answer from the registrar " + registrar_ + " (" + reason + ")";
  std::string text = account() + ": " + what + "; trying again in " + std::to_string(next.count() / 1000) + " s";
  if (state_ == State::NoAnswer) {
    if (remark) remark(text);
  } else {
    change(State::NoAnswer, text);
  }
  if (!retry_.Enabled()) retryLater();
}

bool SipRegistration::event(const BaresipEvent& e) {
  if (e.eventClass != "register") return false;
  if (!registers_) return true;
  if (!e.accountAor.empty()) aor_ = e.accountAor;  // as baresip spells it, for uadel
  if (e.type == "REGISTER_OK") {
    inFlight_ = false;
    retries_ = 0;
    noAnswer_.setEnabled(false);
    retry_.setEnabled(false);
    attemptLimit_.setEnabled(false);
    reason_.clear();
    change(State::Registered, account() + ": registered with " + registrar_);
  } else if (e.type == "REGISTER_FAIL") {
    inFlight_ = false;
    noAnswer_.setEnabled(false);
    attemptLimit_.setEnabled(false);
    failed(e.param.empty() ? "no reason given" : e.param);
  }
  return true;
}

bool SipRegistration::response(const BaresipResponse& r) {
  if (r.token.rfind("register ", 0) != 0) return false;
  if (!r.ok && r.token == "register uanew") {
    inFlight_ = false;
    noAnswer_.setEnabled(false);
    // Its answer repeats the account's line, password and all: not for a log.
    change(State::Refused, account() + ": baresip could not take the account (see the SIP settings)");
  }
  return true;
}

void SipRegistration::callRequested() {
  if (!registers_ || state_ == State::Registered || inFlight_) return;
  retry_.setEnabled(false);
  attempt(false);
}

}  // namespace qm
