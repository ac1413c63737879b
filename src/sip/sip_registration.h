#pragma once
// The SIP account's registration with its provider, followed from the first attempt and told as a named state on
// every change.
//
// baresip registers an account as soon as it is loaded, which at start is before its control connection is open, so
// the outcome of the first attempt would be lost. An account that registers is therefore not written into baresip's
// accounts file: once the control connection is open it is added with "uanew LINE", and every event of its
// registration arrives (REGISTERING, REGISTER_OK, REGISTER_FAIL). A new attempt is "uadel AOR" then "uanew LINE".
//
// States and what moves them:
//   Off          no account, or Register=0: nothing is reported
//   Registering  an attempt is on its way (reported once, at the first attempt of a run of baresip)
//   Registered   REGISTER_OK
//   Refused      REGISTER_FAIL with a SIP status (401, 403, 404 ...): the provider answered no. libre tries again
//                by itself (30 s and more apart); a call request tries at once.
//   NoAnswer     REGISTER_FAIL without a status (time-out, connection refused, no such host), a 5xx status, or no
//                answer within kNoAnswerLimit: a new attempt follows 2, 4, 8 ... up to 60 s later, and at once
//                when a call is requested, until it registers.
// No new attempt is made while a call is up (it would end the call) or while one is on its way.
#include <chrono>
#include <functional>
#include <string>

#include "platform/scheduler.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "sip/baresip_agent.h"
#include "sip/baresip_protocol.h"

namespace qm {

class SipRegistration {
 public:
  static constexpr std::chrono::milliseconds kNoAnswerLimit{4000};
  static constexpr std::chrono::milliseconds kFirstRetry{2000};
  static constexpr std::chrono::milliseconds kLongestRetry{60000};
  // An attempt that libre has not concluded by now (its UDP transaction lasts 32 s) is taken as over.
  static constexpr std::chrono::milliseconds kAttemptLimit{40000};

  enum class State { Off, Registering, Registered, Refused, NoAnswer };

  SipRegistration(Scheduler& scheduler, BaresipAgent& agent);

  // Told on every change of state, with a sentence for the operator (no line ends).
  std::function<void(State state, const std::string& text)> onChange;
  // Whether a call is up (no new attempt then).
  std::function<bool()> callUp;
  // The operator's log of the steps underneath.
  std::function<void(const std::string& text)> remark;

  // The account from the settings (when the agent starts next).
  void configure(const SipSettings& settings);
  // Whether the account registers at all; when not, baresip's accounts file carries it as before.
  bool registers() const { return registers_; }
  State state() const { return state_; }
  const std::string& reason() const { return reason_; }

  // The agent's control connection is open: the account is added and its registration starts.
  void agentReady();
  void agentDown();
  // A register event; true when it was one.
  bool event(const BaresipEvent& e);
  // A response to one of this class's commands; true when it was one.
  bool response(const BaresipResponse& r);
  // A call was asked for while the account is not registered: try now, unless an attempt is on its way.
  void callRequested();

 private:
  class TimerHost : public Window {
   public:
    explicit TimerHost(Registry& r) : Window(r, "SipRegistration", "SIP registration") {}
    void closeRequest() override {}
  };

  void attempt(bool first);
  void change(State state, const std::string& text);
  void failed(const std::string& reason);
  void retryLater();
  std::chrono::milliseconds nextRetry() const;
  std::string account() const;

  BaresipAgent& agent_;
  bool registers_ = false;
  std::string aor_, line_, registrar_;
  State state_ = State::Off;
  std::string reason_;
  bool added_ = false;     // the account is in the running baresip
  bool inFlight_ = false;  // an attempt has not been concluded yet
  int retries_ = 0;        // attempts since the last success, for the back-off

  Registry registry_;
  TimerHost host_{registry_};
  Timer noAnswer_;
  Timer retry_;
  Timer attemptLimit_;
};

}  // namespace qm
