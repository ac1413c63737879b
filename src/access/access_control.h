#pragma once
// Who may dial what: the dial rules, the call limits and the one-time switch-on codes of quillmere_dialrules.ini,
// applied to radio requests, to the buddy window's "Call Number" buttons and to the Call box. Without the file every
// hook lets everything through and says nothing, so the program behaves as it does without access control.
// Refusals are announced over the air (radio) or asked about (operator) and written to the history log.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "access/access_settings.h"
#include "access/access_state.h"
#include "access/call_limits.h"

namespace qm {

class Program;
class SwitchOnCodes;

class AccessControl {
 public:
  // Phrase boxes of the announcement window spoken here.
  static constexpr int kRefusedPhrase = 18, kLimitPhrase = 19, kLongestCallPhrase = 20, kSecondsLeftPhrase = 27;

  explicit AccessControl(Program& program);
  ~AccessControl();

  // Before the main window's load: reads the file and reports its problems.
  void load();
  // After the main window's load: readies the one-time codes (making and showing a new secret if there is none).
  void started();

  // The file exists (re-read first when it has changed since).
  bool configured();
  bool oneTimeCodes() { return configured() && settings_.oneTimeCodes; }
  bool codesOn() const { return settings_.present && settings_.oneTimeCodes; }

  // A radio user's request of `target` (trusted: a buddy entry marked so, which the dial rules let through). A
  // refusal is announced and logged, and false returned.
  bool permitRadioCall(const std::string& target, bool trusted);
  // The operator's call from `where`: a refusal asks whether to dial all the same (No is the default).
  bool permitOperatorCall(const std::string& target, bool trusted, const std::string& where);
  // The Call box's command: a "CALL " command is judged as an operator call; any other command passes.
  bool permitCallBox(const std::string& command);
  // A "CALL " command reached the telephone (whatever sent it): counted against the hourly limit unless exempt.
  void callPlaced(const std::string& target);
  // Call tracking saw a duration report of call `callId`: 30, 20 and 10 seconds before the longest call it is warned
  // (on the air and on the phone), past it it is ended and that is announced.
  void callDuration(const std::string& callId, long seconds);

  // The settings as they stand (the file re-read when it changed).
  const AccessSettings& current() {
    refresh();
    return settings_;
  }
  // Why one more incoming call may not be taken now (the hourly limit), or nothing.
  std::optional<std::string> incomingLimit();
  // An incoming call from `caller` was answered: counted against the hourly limit, and timed like a call placed.
  void incomingAnswered(const std::string& caller);
  // A caller's one-time code (after the PIN): each code taken once, as a switch-on code is; a wrong one counts as the
  // caller's wrong PIN (IncomingCalls), never against the switch-on code's lock-out.
  bool incomingCode(const std::string& code);

  // With one-time codes on: whether `digits` switches control on. `prefix` is the switch-on code; a string that is
  // the prefix followed by anything is an attempt, judged, counted and logged. Returns false for everything else.
  bool switchOn(const std::string& digits, const std::string& prefix);

 private:
  struct Verdict {
    bool allowed = true;
    bool exempt = false;
    int phrase = kRefusedPhrase;
    std::string reason;
  };
  Verdict judge(const std::string& target, bool trusted);
  // What the telephone will dial for `target`: the form the rules judge.
  std::string dialled(const std::string& target) const;
  void warnBeforeEnd(const std::string& callId, long secondsLeft);
  std::string named(const std::string& target) const;
  void refresh();
  void readyCodes();
  void showNewSecret(const std::string& base32);
  void report(const std::vector<std::string>& problems);
  void log(const std::string& line);
  void saveLastStep();
  // The calls of the hour and the lock-out, read back once at the first load and written on every change.
  void restoreState();
  void saveState();
  std::chrono::system_clock::time_point now() const;
  std::filesystem::path rulesPath() const;

  Program& program_;
  AccessSettings settings_;
  struct FileStamp {
    bool present = false;
    std::optional<std::filesystem::file_time_type> written;
    std::optional<std::uintmax_t> size;
    bool operator==(const FileStamp&) const = default;
  };
  static FileStamp stampOf(const std::filesystem::path& path);
  FileStamp loaded_;
  CallLimits limits_;
  std::unique_ptr<SwitchOnCodes> codes_;
  std::string codesUnavailable_;  // why the one-time codes cannot be checked
  std::string overrideTarget_;    // the operator chose to dial this one all the same
  bool started_ = false;
  bool currentCallExempt_ = false;
  std::string currentTarget_;
  std::string endedCallId_;      // the call the longest-call limit has already ended
  std::string warnedCallId_;     // the call the warnings before that limit follow
  long lastWarning_ = 0;         // the seconds left told it last (30, 20, 10); 0: none yet
  std::shared_ptr<bool> alive_;  // posted messages check it: they may outlive this object
  bool stateRestored_ = false;
  bool stateSaveFailed_ = false;  // told once
  AccessState codeState_;         // the lock-out while there are no codes_ (before the start, without a secret)
};

}  // namespace qm
