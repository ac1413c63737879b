#pragma once
// A simulated Skype client: a window of its own on the window-message layer that speaks the Desktop API.
//
// Attach. The client answers the "SkypeControlAPIDiscover" broadcast with "SkypeControlAPIAttach" messages to the
// window named in the broadcast's wParam (lParam the status, wParam its API window on success):
//   allow      1 (pending authorization) at once, then 0 (success) one second later; a window once allowed gets
//              0 at once on a later discover
//   allow-now  0 at once
//   refuse     2 (refused) at once
//   absent     Skype is not running: no window, so the broadcast reaches only the program's own windows
//
// Commands (copy-data text, keywords in any case) and the notifications they give, sent from inside the command's
// own SendMessage as the real client does (n is the call id, from 1 upward):
//   CALL target                    CALL n STATUS ROUTING, CALL n STATUS RINGING
//   SET CALL n STATUS FINISHED     CALL n STATUS FINISHED
//   GET CALL n STATUS | DURATION   CALL n STATUS s | CALL n DURATION s
//   SET MUTE ON|OFF, GET MUTE      MUTE ON|OFF
//   PING                           PONG
//   PROTOCOL v                     PROTOCOL v
//   an unknown call id             ERROR 11 Invalid call id
//   CALL with no target            ERROR 34 Invalid user handle
//   anything else                  ERROR 2 Unknown command
// Commands are answered whoever sends them; a call's later notifications go to the window that placed it.
//
// The far end of a call: answer gives CALL n STATUS INPROGRESS and then CALL n DURATION s every second while the
// call lasts; hangup gives CALL n STATUS FINISHED (also while it rings); busy (while it rings) gives
// CALL n STATUS BUSY and at once CALL n STATUS FINISHED, the call being over. Unless auto-answer is off, a ringing
// call is answered by itself after a few seconds.
//
// A call from the telephone (`incoming`) is presented to the attached program as CALL n TYPE INCOMING_PSTN,
// CALL n PARTNER_HANDLE caller and CALL n STATUS RINGING, and rings until the program answers it:
//   ALTER CALL n ANSWER            CALL n STATUS INPROGRESS, then the durations
//   ALTER CALL n HOLD              CALL n STATUS ONHOLD (answered, off the air)
//   ALTER CALL n RESUME            CALL n STATUS INPROGRESS (a held call)
//   ALTER CALL n END FORBIDDEN|BUSY   CALL n STATUS FINISHED
// The caller's keys (`keys`) reach the program as CALL n DTMF d, one a key, while the call is answered or held.
//
// Every command that reaches the client is recorded as `sent "TEXT"`, every text it sends as `notify "TEXT"`.
#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/output_log.h"
#include "platform/scheduler.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "platform/window_system.h"
#include "skype/skype_api_window.h"

namespace qm {

class SimulatedSkype : public SkypeApiWindow {
 public:
  enum class AttachMode { Allow, AllowNow, Refuse, Absent };
  static std::optional<AttachMode> parseAttachMode(const std::string& word);
  static constexpr std::chrono::milliseconds kAuthorizationDelay{1000};
  static constexpr std::chrono::milliseconds kDefaultAnswerDelay{3000};

  SimulatedSkype(WindowSystem& windows, Scheduler& scheduler, OutputLog& log);

  // How a discover is answered; set before launch.
  void setAttachMode(AttachMode mode) { mode_ = mode; }
  // The far end answers a ringing call by itself after `delay`; nothing leaves calls ringing until told.
  void setAutoAnswer(std::optional<std::chrono::milliseconds> delay) { answerDelay_ = delay; }

  // Skype starts: its API window appears (not when absent).
  void launch();

  // The far end of the latest call answers, hangs up or is busy. False when there is no call in a state for it.
  bool answer();
  bool hangup();
  bool busy();
  // A call from `caller` to the attached program `to`; false when Skype is not running or `caller` is empty.
  bool incoming(HWND to, const std::string& caller);
  // The caller of the latest answered or held incoming call presses `digits`; false when there is none.
  bool keys(const std::string& digits);

 private:
  enum class CallState { Ringing, InProgress, OnHold };
  struct Call {
    int id;
    HWND owner;
    CallState state;
    int seconds = 0;
    Scheduler::TimePoint ringingSince{};
    bool incoming = false;
  };
  class TimerHost : public Window {
   public:
    explicit TimerHost(Registry& r) : Window(r, "SimulatedSkype", "Skype") {}
    void closeRequest() override {}
  };

  void discovered(HWND client) override;
  void placeCall(HWND from, const std::string& target) override;
  void callCommand(HWND from, const ApiCommand& command) override;
  void alterCall(HWND from, const ApiCommand& command) override;
  void setMute(HWND from, bool on) override;
  bool muted() const override { return muted_; }
  Call* find(int id);
  Call* latest(bool ringingOnly);
  void start(Call& call);
  void finish(int id);
  void authorizationDue();
  void durationTick();
  void answerDue();
  void scheduleAnswer();

  Scheduler& scheduler_;
  AttachMode mode_ = AttachMode::Allow;
  std::optional<std::chrono::milliseconds> answerDelay_ = kDefaultAnswerDelay;

  std::set<HWND> allowed_;
  HWND pending_ = 0;  // waiting for the user to allow it
  std::vector<Call> calls_;
  int nextCall_ = 1;
  bool muted_ = false;

  Registry registry_;
  TimerHost host_{registry_};
  Timer authorization_;
  Timer durations_;
  Timer answering_;
};

}  // namespace qm
