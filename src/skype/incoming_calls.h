#pragma once
// Calls from the telephone to the air. The telephone presents a call with three lines of Skype API text before it
// rings, and the caller's keys while the call is answered:
//   CALL n TYPE INCOMING_PSTN        (or INCOMING_P2P)
//   CALL n PARTNER_HANDLE CALLER     the caller's number or name, as the telephone could read it
//   CALL n STATUS RINGING
//   CALL n DTMF D                    a key the caller pressed (0-9, *, #, A-D)
// and takes these answers:
//   ALTER CALL n ANSWER              answer, the caller on the air (STATUS INPROGRESS, then DURATION s each second)
//   ALTER CALL n HOLD                answer, the caller kept off the air while a PIN is keyed (STATUS ONHOLD)
//   ALTER CALL n RESUME              a held call goes on the air (STATUS INPROGRESS ...)
//   ALTER CALL n END FORBIDDEN       refuse: the caller may not call (SIP 403)
//   ALTER CALL n END BUSY            refuse: not now (SIP 486)
// Whether and how a call is taken is the [INCOMING] section of the dial rules file (incoming_rules.h). One call at a
// time; the transmitter inhibit, DTMF control off and the hourly call limit refuse a call; every call ends in one
// history log line and is counted by result.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "access/incoming_rules.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "skype/caller_keys.h"

namespace qm {

class Program;

class IncomingCalls {
 public:
  enum class Stage { Idle, Ringing, Pin, OnAir };
  static constexpr int kIncomingPhrase = 28;
  static constexpr std::chrono::seconds kRingRepeat{10};
  static constexpr std::chrono::seconds kPinTime{30};
  static constexpr std::size_t kLockTable = 64;  // callers remembered for their wrong PINs

  explicit IncomingCalls(Program& program);
  ~IncomingCalls();

  // One line of Skype API text as received (after the data panel has it).
  void heard(const std::string& text);
  // A DTMF string from the radio: true when it answered the ringing call (the answer code, control on).
  bool radioDigits(const std::string& digits);
  // A key the caller sent as a tone in the call's audio (the radio node decodes it while the call is held): the same
  // PIN path as the telephone's RFC 4733 keys, a press heard both ways counted once.
  void toneKey(char key);
  // The operator's Answer and Reject (desktop, web page); false when no call rings. `who` goes to the history log.
  bool answer(const std::string& who);
  bool reject(const std::string& who);
  // Whether `digits` is the answer code (so no other part of the node takes it).
  bool isAnswerCode(const std::string& digits);
  // The answer code's clashes with the program's own codes, for the operator and --check.
  std::vector<std::string> codeProblems();

  // Whether call `id` is being presented by the telephone and not yet taken or refused.
  bool presenting(const std::string& id) const { return !id.empty() && id == presentedId_; }
  Stage stage() const { return stage_; }
  const std::string& caller() const { return caller_; }  // safe to show: bounded, plain characters
  int seconds() const { return seconds_; }               // how long the call has been on the air
  // Incoming calls that have ended, by result ("answered", "denied", ...), since the program started.
  const std::map<std::string, std::uint64_t>& results() const { return results_; }
  // Told of every change of stage (the desktop's ringing display, the status page).
  std::function<void()> onChange;

 private:
  class TimerHost : public Window {
   public:
    explicit TimerHost(Registry& r) : Window(r, "IncomingCalls", "Incoming calls") {}
    void closeRequest() override {}
  };
  struct Lock {
    int wrong = 0;
    std::chrono::system_clock::time_point until{};
    std::chrono::system_clock::time_point last{};
  };

  void decide(const std::string& id, const std::string& caller);
  void refuse(const std::string& id, const std::string& caller, bool forbidden, const std::string& result,
              const std::string& why);
  void goOnAir(const char* verb, bool announced);
  void ringTick();
  void pinTimeUp();
  void callerKey(char key);
  void checkPin();
  // Counts a wrong PIN of any caller; true when it starts the lock-out of every PIN caller (WrongPinsAllowed).
  bool wrongPinNodeWide();
  void endForbidden(const std::string& result, const std::string& detail);
  void ended();
  void finish(const std::string& result, const std::string& detail);
  void send(const std::string& command);
  void setStage(Stage stage);
  void log(const std::string& line);
  void announceCaller();
  std::string spokenCaller();
  bool inhibited();
  std::chrono::system_clock::time_point now() const;

  Program& program_;
  Registry registry_;
  TimerHost host_{registry_};
  Timer ring_;
  Timer pinTimer_;
  Stage stage_ = Stage::Idle;
  std::string id_;      // the call this is about
  std::string caller_;  // its caller, safe to show
  IncomingRule rule_;
  std::string keyed_;  // the PIN keyed so far
  CallerKeys keys_;
  std::chrono::system_clock::time_point ringSince_{};
  int seconds_ = 0;
  bool ending_ = false;  // an END was sent: the FINISHED that follows is ours
  // The call the telephone is presenting: its id and caller until it rings.
  std::string presentedId_, presentedCaller_;
  std::map<std::string, Lock> locks_;
  std::deque<std::chrono::system_clock::time_point> wrongPins_;  // of all callers, within LockoutMinutes
  std::chrono::system_clock::time_point pinCallersLockedUntil_{};
  std::map<std::string, std::uint64_t> results_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The caller as the telephone gave it, made safe for a log, a page and speech: characters other than letters, digits
// and + * # . _ @ - become ?, and it is cut to 64 characters.
std::string safeCaller(std::string_view text);

}  // namespace qm
