#pragma once
// The Skype side of the program played by a SIP user agent: a window on the window-message layer that answers the
// Skype Desktop API exactly as a Skype client does, and places the calls through baresip (baresip_agent.h), so that
// a node can call any phone number through a SIP provider, or any SIP address.
//
// Attach. A "SkypeControlAPIDiscover" broadcast is answered with "SkypeControlAPIAttach": 0 (success, wParam this
// client's API window) when the user agent is ready, 1 (pending) while it starts, 3 (not available) when it could not
// be started. Later changes are sent to the window that discovered: 3 when the user agent stops working, 0 when it is
// ready again, so the link recovers by itself.
//
// Commands (copy-data text, keywords in any case) and what they give (n is a call id of this client, from 1 up):
//   CALL target                    CALL n STATUS ROUTING at once; the target goes through the dial plan
//                                  (dial_plan.h) and is dialled; then CALL n STATUS RINGING when it rings,
//                                  CALL n STATUS INPROGRESS when answered, CALL n DURATION s every second while
//                                  it lasts, CALL n STATUS FINISHED when it ends. A call that ends unanswered first
//                                  gives CALL n STATUS BUSY (486, 600), REFUSED (603), MISSED (408, 480, 487: no
//                                  answer) or FAILED (anything else).
//                                  One call at a time: a CALL while one is up gives CALL n STATUS FAILED only.
//                                  A target that cannot be dialled, or no user agent, gives FAILED and FINISHED.
//                                  While the account is not registered (sip_registration.h), at once
//                                  CALL n FAILUREREASON 4 (no proxy), FAILED and FINISHED, and a new registration
//                                  attempt starts.
//   SET CALL n STATUS FINISHED     hangs up; CALL n STATUS FINISHED follows once the call is over
//   GET CALL n STATUS | DURATION   CALL n STATUS s | CALL n DURATION s
//   SET MUTE ON|OFF, GET MUTE      MUTE ON|OFF (the microphone of the current and later calls)
//   ALTER CALL n ANSWER | HOLD | RESUME | END FORBIDDEN | END BUSY
//                                  for a call from the telephone (incoming_calls.h): answered on the air, answered
//                                  and held off it (ONHOLD), put on it, refused: a ringing call with 403 (FORBIDDEN)
//                                  or 486 (BUSY), an answered one hung up.
//   PING                           PONG
//   PROTOCOL v                     PROTOCOL v
//   an unknown call id             ERROR 11 Invalid call id
//   CALL with no target            ERROR 34 Invalid user handle
//   anything else                  ERROR 2 Unknown command
// Immediate replies are sent from inside the command's SendMessage, as Skype does; the rest as the user agent
// reports. A SIP call from outside, while none is up, is presented as CALL n TYPE INCOMING_PSTN,
// CALL n PARTNER_HANDLE caller (the user part of its address, made safe) and CALL n STATUS RINGING; the caller's
// RFC 4733 keys come as CALL n DTMF d. It is off the air (onHold) until the program answers or resumes it; baresip
// itself refuses a second call while one is up (call_max_calls 1). Every command that reaches the client is recorded as
// `sent "TEXT"`, every text it sends as `notify "TEXT"`, every change of the account's registration as `sip "TEXT"`.
// The operator is told in a warning box when the user agent cannot be started or stops, and when the provider refuses
// the registration.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/output_log.h"
#include "platform/prompter.h"
#include "platform/scheduler.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "platform/window_system.h"
#include "sip/baresip_agent.h"
#include "sip/dial_plan.h"
#include "sip/sip_registration.h"
#include "skype/skype_api_window.h"

namespace qm {

class SipSkype : public SkypeApiWindow {
 public:
  // Without the user agent's word that a hang-up is done, the call is taken as ended after this.
  static constexpr std::chrono::milliseconds kHangupLimit{5000};
  static constexpr std::size_t kFinishedCallsKept = 16;
  // Skype's failure reason "no proxy found": the account is not registered with its provider.
  static constexpr int kFailureNoProxy = 4;

  SipSkype(WindowSystem& windows, Scheduler& scheduler, OutputLog& log, Prompter& prompter, BaresipAgent& agent);
  ~SipSkype() override;

  void setDialPlan(const DialPlan& plan) { dialPlan_ = plan; }
  const DialPlan& dialPlan() const { return dialPlan_; }
  // The API window appears, before the program's load: the load may run messages (a usage report's reply is read with
  // the messages run meanwhile), and an attach asked for then must find the window. Until the user agent is ready
  // it answers "not available", then success.
  void open();
  // The API window appears (when not yet open) and the user agent starts.
  void launch();
  // New settings: the dial plan applies at once; the user agent restarts when its files change (after the call).
  void applySettings(const SipSettings& settings);

  // The operator's log of what happens underneath (dialled URIs, reasons); stderr in a real run.
  std::function<void(const std::string&)> remark;
  // "SET MUTE ON|OFF" as the program asks it (the radio node stops the radio-to-call path at once).
  std::function<void(bool muted)> onMute;
  // A call from the telephone is kept off the air (true) or put on it (false); false again when it ends.
  std::function<void(bool held)> onHold;
  // Every change of the account's registration, as the transcript shows it.
  std::function<void(const std::string& text)> onRegistration;

  const SipRegistration& registration() const { return registration_; }

  // The call that is up (routing, ringing or in progress), 0 when none.
  int activeCallId() const;

 private:
  enum class Stage { Routing, Ringing, InProgress, OnHold, Finished };
  struct Call {
    int id;
    HWND owner;
    std::string uri;
    std::string sipId;  // baresip's id, once an event named it
    Stage stage = Stage::Routing;
    std::string finalStatus;  // the last status reported once finished
    Scheduler::TimePoint establishedAt{};
    int reportedSeconds = 0;
    bool hangupRequested = false;
    bool incoming = false;    // called from outside
    std::string caller;       // its caller, made safe
    bool answerHeld = false;  // answered to be held off the air (a PIN first)
  };
  class TimerHost : public Window {
   public:
    explicit TimerHost(Registry& r) : Window(r, "SipSkype", "SIP client") {}
    void closeRequest() override {}
  };

  void discovered(HWND client) override;
  // An attach message to the window that discovered: its status, and the API window when attached.
  void sendAttach(HWND to, LPARAM status);
  void note(const std::string& text);
  void warnLater(const std::string& text);

  void placeCall(HWND from, const std::string& target) override;
  void callCommand(HWND from, const ApiCommand& command) override;
  void setMute(HWND from, bool on) override;
  bool muted() const override { return wantMuted_; }
  void alterCall(HWND from, const ApiCommand& command) override;
  void incomingCall(const BaresipEvent& e);
  void hold(bool held);
  void syncMute();

  void agentReady();
  void agentDown(const std::string& why, bool wasReady);
  void agentMessage(const BaresipMessage& message);
  void agentEvent(const BaresipEvent& event);
  void agentResponse(const BaresipResponse& response);

  Call* find(int id);
  Call* active();
  Call* bySipId(const std::string& sipId);
  // Reports the end of a call: BUSY, REFUSED, MISSED or FAILED first when it never ran (unless it was hung up), then
  // FINISHED. `reason` is the user agent's (a SIP status such as "486 Busy Here" decides which), or ours; a
  // `failureReason` (Skype's numbers) goes before FAILED.
  void finish(int id, const std::string& reason, int failureReason = 0);
  void registrationChanged(SipRegistration::State state, const std::string& text);
  void durationTick();
  void hangupDue();
  void pruneFinished();
  void afterCall();

  Scheduler& scheduler_;
  Prompter& prompter_;
  BaresipAgent& agent_;
  DialPlan dialPlan_;

  HWND client_ = 0;                             // the window that discovered this client
  std::optional<LPARAM> toldClient_;            // the attach status it was last sent
  bool outageReported_ = false;                 // the operator has been told of the current outage
  bool launched_ = false;                       // the user agent has been started once
  std::optional<SipSettings> pendingSettings_;  // waiting for the call to end

  std::vector<Call> calls_;
  int nextCall_ = 1;
  bool wantMuted_ = false;  // what the client asked for
  bool callMuted_ = false;  // what the current call's microphone is
  bool muteInFlight_ = false;

  Registry registry_;
  TimerHost host_{registry_};
  Timer durations_;
  Timer hangupLimit_;
  SipRegistration registration_;
};

}  // namespace qm
