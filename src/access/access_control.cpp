#include "access/access_control.h"

#include <algorithm>
#include <cctype>

#include "access/one_time_code_backend.h"
#include "access/secret_file.h"
#include "access/switch_on_codes.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "control/announce.h"
#include "history/form_history.h"
#include "platform/clock_format.h"
#include "platform/profile_file.h"
#include "platform/prompter.h"
#include "platform/scheduler.h"
#include "platform/vb_text.h"
#include "sip/dial_plan.h"
#include "skype/api_text.h"

namespace qm {

namespace {

constexpr const char* kRulesFile = "quillmere_dialrules.ini";
constexpr const char* kSecretFile = "quillmere_totp.key";
constexpr const char* kCodeStateFile = "quillmere_totp.ini";  // the last time step taken; not secret
constexpr const char* kStateFile = "quillmere_access.ini";    // in the state folder

std::string uriEscape(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace

AccessControl::AccessControl(Program& program) : program_(program), alive_(std::make_shared<bool>(true)) {}

AccessControl::~AccessControl() = default;

std::filesystem::path AccessControl::rulesPath() const {
  return program_.backends().folders.inProgramFolder(kRulesFile);
}

std::chrono::system_clock::time_point AccessControl::now() const {
  return program_.backends().scheduler.now();
}

// What tells that the file changed: whether it is there, when it was written and how long it is.
AccessControl::FileStamp AccessControl::stampOf(const std::filesystem::path& path) {
  std::error_code ec;
  FileStamp stamp;
  stamp.present = std::filesystem::exists(path, ec);
  auto written = std::filesystem::last_write_time(path, ec);
  if (!ec) stamp.written = written;
  auto size = std::filesystem::file_size(path, ec);
  if (!ec) stamp.size = size;
  return stamp;
}

void AccessControl::load() {
  std::filesystem::path path = rulesPath();
  loaded_ = stampOf(path);
  settings_ = readAccessSettings(path);
  limits_.setCallsPerHour(settings_.callsPerHour);
  report(settings_.problems);
  restoreState();
  if (started_) readyCodes();
}

void AccessControl::restoreState() {
  const std::filesystem::path& folder = program_.backends().folders.state;
  if (stateRestored_ || folder.empty() || !settings_.present) return;
  stateRestored_ = true;
  LoadedAccessState loaded =
      readAccessState(folder / kStateFile, now(), std::chrono::minutes(settings_.lockoutMinutes));
  if (loaded.problem.empty()) {
    limits_.restore(loaded.state.calls);
    codeState_ = loaded.state;
    return;
  }
  // Not "no calls, no wrong codes": the hour counts as full and the switch-on code as locked, as after an attack.
  std::vector<CallLimits::TimePoint> full(static_cast<std::size_t>(std::max(settings_.callsPerHour, 0)), now());
  limits_.restore(full);
  codeState_ = {};
  if (settings_.oneTimeCodes) codeState_.lockedUntil = now() + std::chrono::minutes(settings_.lockoutMinutes);
  std::string text = loaded.problem + ": the calls of the last hour are taken as the most allowed";
  if (codeState_.lockedUntil)
    text += ", and the switch-on code is locked until " + formatLongTime(*codeState_.lockedUntil);
  log(text);
  report({text + "."});
  saveState();
}

void AccessControl::saveState() {
  const std::filesystem::path& folder = program_.backends().folders.state;
  if (folder.empty()) return;
  AccessState state;
  state.calls = limits_.calls(now());
  if (codes_) {
    state.wrongInARow = codes_->wrongInARow();
    state.lockedUntil = codes_->lockedUntil();
  } else {
    state.wrongInARow = codeState_.wrongInARow;
    state.lockedUntil = codeState_.lockedUntil;
  }
  auto error = writeAccessState(folder / kStateFile, state);
  if (!error) {
    stateSaveFailed_ = false;
  } else if (!stateSaveFailed_) {
    stateSaveFailed_ = true;
    report(
        {*error + "\r\nThe calls of the last hour and the switch-on code's lock-out would be forgotten on a restart."});
  }
}

void AccessControl::refresh() {
  if (!(stampOf(rulesPath()) == loaded_)) load();
}

bool AccessControl::configured() {
  refresh();
  return settings_.present;
}

void AccessControl::started() {
  started_ = true;
  if (!configured()) return;
  readyCodes();
  frmMain& main = program_.main();
  if (codesOn() && main.Check1.Value() == 1) {
    // Control that is on from the start would let anyone dial without a code.
    log("DTMF control starts off: switching it on takes a one-time code");
    main.Check1.setValue(0);
  }
}

void AccessControl::readyCodes() {
  if (!settings_.oneTimeCodes) {
    codes_.reset();
    return;
  }
  std::optional<std::uint64_t> lastStep;
  if (codes_) {
    lastStep = codes_->lastStep();
    codeState_.wrongInARow = codes_->wrongInARow();
    codeState_.lockedUntil = codes_->lockedUntil();
  }
  codes_.reset();
  OneTimeCodeBackend* backend = program_.backends().oneTimeCodes;
  if (!backend) {
    codesUnavailable_ = "this program was built without a one-time code library";
    report({"One-time codes are asked for in " + rulesPath().string() + ", but " + codesUnavailable_ +
            ": DTMF control cannot be switched on by radio."});
    return;
  }
  std::filesystem::path secretPath = program_.backends().folders.inProgramFolder(kSecretFile);
  SecretFile secret = loadOrCreateSecret(secretPath, *backend);
  report(secret.problems);
  if (!secret.secret) {
    codesUnavailable_ = "there is no usable secret in " + secretPath.string();
    return;
  }
  codes_ = std::make_unique<SwitchOnCodes>(*backend, *secret.secret, settings_.wrongCodesAllowed,
                                           std::chrono::minutes(settings_.lockoutMinutes),
                                           static_cast<unsigned>(settings_.codeWindow));
  if (!lastStep) {
    ProfileFile state = ProfileFile::load(program_.backends().folders.inProgramFolder(kCodeStateFile));
    if (auto stored = parseInteger(state.read("SETTINGS", "LastStep", "")); stored && *stored >= 0)
      lastStep = static_cast<std::uint64_t>(*stored);
  }
  if (secret.created) lastStep.reset();  // a new secret: no code of it has been taken
  codes_->setLastStep(lastStep);
  codes_->restore(codeState_.wrongInARow, codeState_.lockedUntil);
  if (secret.created) showNewSecret(secret.base32);
}

void AccessControl::showNewSecret(const std::string& base32) {
  std::string callsign = "Quillmere";
  if (EchoLinkApp* app = program_.main().echoLink()) {
    try {
      callsign = Program::localCallsign(*app);
    } catch (const std::exception&) {
      // the account name is only a label in the authenticator
    }
  }
  std::string uri = "otpauth://totp/Quillmere:" + uriEscape(callsign) + "?secret=" + base32 +
                    "&issuer=Quillmere&algorithm=SHA1&digits=6&period=30";
  // The secret goes to the screen only: the box's text reaches the transcript, which a service's journal keeps.
  std::filesystem::path keyFile = program_.backends().folders.inProgramFolder(kSecretFile);
  std::string text = "A new secret for the one-time switch-on codes was made and kept in " + keyFile.string() +
                     " (readable by you only). Add it to an authenticator app now: on the desktop, scan the QR code or "
                     "enter the address shown with this message; on a terminal, enter the first line of that file as "
                     "the key. The secret is never written to a log.\r\n\r\nOn the radio: the switch-on code, "
                     "then the six digits the app shows.";
  std::vector<std::vector<bool>> picture;
  if (QrEncoder* qr = program_.backends().qr) picture = qr->encode(uri);
  program_.backends().prompter.showPicture(text, "One-time codes", BoxIcon::Information, picture, uri);
}

void AccessControl::report(const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  std::string text;
  for (const std::string& p : problems) text += (text.empty() ? "" : "\r\n") + p;
  program_.backends().prompter.show(text, "", BoxIcon::Warning, BoxButtons::Ok);
}

void AccessControl::log(const std::string& line) {
  program_.history().logEvent(line);
}

void AccessControl::saveLastStep() {
  if (!codes_ || !codes_->lastStep()) return;
  std::filesystem::path path = program_.backends().folders.inProgramFolder(kCodeStateFile);
  ProfileFile state = ProfileFile::load(path);
  state.write("SETTINGS", "LastStep", std::to_string(*codes_->lastStep()));
  if (auto error = state.save(path))
    report({*error + "\r\nA code taken now could be taken again after a restart within its 30 seconds."});
}

std::string AccessControl::dialled(const std::string& target) const {
  static const DialPlan kNoRewrite;
  const DialPlan* plan = program_.backends().dialPlan;
  return dialledForm(plan ? *plan : kNoRewrite, target);
}

// The target for the history log: as requested, and as dialled when that differs.
std::string AccessControl::named(const std::string& target) const {
  std::string form = dialled(target);
  return form == target ? target : target + " (dialled as " + form + ")";
}

AccessControl::Verdict AccessControl::judge(const std::string& rawTarget, bool trusted) {
  Verdict v;
  if (!configured()) return v;
  const std::string target = dialled(rawTarget);
  if (!settings_.readable) {
    v.allowed = false;
    v.reason = "the dial rules cannot be read";
    return v;
  }
  DialDecision d = settings_.rules.decide(target);
  if (!d.allowed && !trusted) {
    v.allowed = false;
    v.reason = d.reason;
    return v;
  }
  v.exempt = d.exempt;
  v.reason = d.allowed ? d.reason : "a trusted buddy entry";
  if (!v.exempt && !limits_.mayPlace(now())) {
    v.allowed = false;
    v.phrase = kLimitPhrase;
    v.reason = std::to_string(limits_.callsInLastHour(now())) + " calls in the last hour, the limit is " +
               std::to_string(limits_.callsPerHour()) + "; the next may be placed at " +
               formatLongTime(limits_.nextFree(now()));
  }
  return v;
}

bool AccessControl::permitRadioCall(const std::string& target, bool trusted) {
  Verdict v = judge(target, trusted);
  if (v.allowed) return true;
  log("Refused -- " + named(target) + " -- " + v.reason);
  announce(program_, phrase(program_, v.phrase));
  return false;
}

bool AccessControl::permitOperatorCall(const std::string& target, bool trusted, const std::string& where) {
  Verdict v = judge(target, trusted);
  if (v.allowed) return true;
  BoxAnswer answer = program_.backends().prompter.show(
      "The call to \"" + target + "\" from " + where + " is refused: " + v.reason + ".\r\nDial it all the same?",
      "Access control", BoxIcon::Question, BoxButtons::YesNoDefaultNo);
  if (answer != BoxAnswer::Yes) {
    log("Refused -- " + named(target) + " -- " + v.reason);
    return false;
  }
  log("Dialled by the operator despite the refusal -- " + named(target) + " -- " + v.reason);
  overrideTarget_ = dialled(target);
  return true;
}

bool AccessControl::permitCallBox(const std::string& command) {
  auto target = apiCallTarget(command);
  if (!configured() || !target) return true;
  return permitOperatorCall(*target, false, "the Call box");
}

void AccessControl::callPlaced(const std::string& target) {
  if (!configured()) return;
  const std::string form = dialled(target);
  bool exempt = (!overrideTarget_.empty() && form == overrideTarget_) ||
                (settings_.readable && settings_.rules.decide(form).exempt);
  overrideTarget_.clear();
  currentCallExempt_ = exempt;
  currentTarget_ = target;
  if (exempt) return;
  limits_.placed(now());
  saveState();
}

void AccessControl::callDuration(const std::string& callId, long seconds) {
  if (!configured() || settings_.longestCallMinutes <= 0 || currentCallExempt_ || callId == endedCallId_) return;
  int minutes = settings_.longestCallMinutes;
  if (seconds < minutes * 60L) return warnBeforeEnd(callId, minutes * 60L - seconds);
  endedCallId_ = callId;
  // Not from inside call tracking: the hang-up's own echo is tracked too.
  std::weak_ptr<bool> alive = alive_;
  program_.backends().scheduler.post([this, alive, callId, minutes] {
    if (alive.expired()) return;
    frmMain& main = program_.main();
    main.txtSend.setText("SET CALL " + callId + " STATUS FINISHED");
    main.Dial_Phone();
    log("Call ended -- " + currentTarget_ + " -- the longest call is " + std::to_string(minutes) +
        (minutes == 1 ? " minute" : " minutes"));
    announce(program_, phrase(program_, kLongestCallPhrase));
  });
}

// Each mark once per call, the nearest one passed when reports were missed; a call that is over (a late answer to GET
// CALL n DURATION, a hang-up before the warning's turn) is warned no more.
void AccessControl::warnBeforeEnd(const std::string& callId, long secondsLeft) {
  if (program_.main().callUp != callId) return;
  if (callId != warnedCallId_) {
    warnedCallId_ = callId;
    lastWarning_ = 0;
  }
  long mark = 0;
  for (long m : {10L, 20L, 30L}) {
    if (secondsLeft <= m) {
      mark = m;
      break;
    }
  }
  if (mark == 0 || (lastWarning_ != 0 && mark >= lastWarning_)) return;
  lastWarning_ = mark;
  // Not from inside call tracking, as the end.
  std::weak_ptr<bool> alive = alive_;
  program_.backends().scheduler.post([this, alive, callId, mark] {
    if (alive.expired() || program_.main().callUp != callId) return;
    const auto& toCall = program_.backends().speechToCall;
    if (toCall) toCall(true);
    // In words: the speech says every digit 0 as "Zero", which would make "3 Zero seconds left" of 30.
    const char* number = mark == 30 ? "Thirty" : mark == 20 ? "Twenty" : "Ten";
    announce(program_, std::string(number) + " " + phrase(program_, kSecondsLeftPhrase));
    if (toCall) toCall(false);
  });
}

std::optional<std::string> AccessControl::incomingLimit() {
  if (!configured() || limits_.mayPlace(now())) return std::nullopt;
  return std::to_string(limits_.callsInLastHour(now())) + " calls in the last hour, the limit is " +
         std::to_string(limits_.callsPerHour());
}

void AccessControl::incomingAnswered(const std::string& caller) {
  currentCallExempt_ = false;
  currentTarget_ = "call from " + caller;
  if (!configured()) return;
  limits_.placed(now());
  saveState();
}

bool AccessControl::incomingCode(const std::string& code) {
  if (!codes_) {
    log("One-time code of a caller refused -- " +
        (codesUnavailable_.empty() ? std::string("one-time codes are off") : codesUnavailable_));
    return false;
  }
  if (!codes_->take(code, now())) return false;
  saveLastStep();
  return true;
}

bool AccessControl::switchOn(const std::string& digits, const std::string& prefix) {
  if (!startsWith(digits, prefix)) return false;
  std::string code = digits.substr(prefix.size());
  for (char c : code)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;  // another command, no attempt
  if (prefix.empty() && code.empty()) return false;
  if (!codes_) {
    log("Switch-on code refused -- " + codesUnavailable_);
    return false;
  }
  SwitchOnCodes::Result r = codes_->attempt(code, now());
  saveState();
  std::string count = std::to_string(r.wrongInARow) + " of " + std::to_string(settings_.wrongCodesAllowed);
  switch (r.outcome) {
    case SwitchOnCodes::Outcome::Accepted:
      saveLastStep();
      log("Switch-on code accepted");
      return true;
    case SwitchOnCodes::Outcome::Wrong:
      log("Wrong switch-on code -- " + count + " in a row");
      break;
    case SwitchOnCodes::Outcome::Replayed:
      log("Switch-on code used before, refused -- " + count + " in a row");
      break;
    case SwitchOnCodes::Outcome::NowLockedOut:
      log("DTMF control locked until " + formatLongTime(r.lockedUntil) + " after " + std::to_string(r.wrongInARow) +
          " wrong switch-on codes in a row");
      break;
    case SwitchOnCodes::Outcome::LockedOut:
      log("Switch-on code ignored -- locked until " + formatLongTime(r.lockedUntil));
      break;
  }
  return false;
}

}  // namespace qm
