#include "skype/incoming_calls.h"

#include <algorithm>
#include <cctype>

#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/program.h"
#include "control/announce.h"
#include "directory/buddy.h"
#include "echolink/transmit_inhibit.h"
#include "history/form_history.h"
#include "platform/clock_format.h"
#include "platform/scheduler.h"
#include "platform/vb_text.h"
#include "skype/api_text.h"

namespace qm {

namespace {

constexpr std::size_t kLongestCaller = 64;

// Compares without stopping at the first difference, so the time taken tells nothing of the PIN.
bool sameDigits(const std::string& a, const std::string& b) {
  if (b.empty()) return false;
  std::size_t diff = a.size() ^ b.size();
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i % b.size()]);
  return diff == 0;
}

}  // namespace

std::string safeCaller(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, kLongestCaller)) {
    bool plain = std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
    out += plain || std::string_view("+*#._@-").find(c) != std::string_view::npos ? c : '?';
  }
  return out.empty() ? "unknown" : out;
}

IncomingCalls::IncomingCalls(Program& program)
    : program_(program),
      ring_(host_, "ring", program.backends().scheduler,
            static_cast<int>(std::chrono::milliseconds(kRingRepeat).count()), false),
      pinTimer_(host_, "pin", program.backends().scheduler,
                static_cast<int>(std::chrono::milliseconds(kPinTime).count()), false) {
  ring_.onTimer = [this] { ringTick(); };
  pinTimer_.onTimer = [this] { pinTimeUp(); };
}

IncomingCalls::~IncomingCalls() = default;

std::chrono::system_clock::time_point IncomingCalls::now() const {
  return program_.backends().scheduler.now();
}

void IncomingCalls::log(const std::string& line) {
  program_.history().logEvent(line);
}

void IncomingCalls::setStage(Stage stage) {
  stage_ = stage;
  // The main window shows a call that waits for someone: ringing, or its caller keying the PIN.
  frmMain& main = program_.main();
  bool waiting = stage == Stage::Ringing || stage == Stage::Pin;
  main.lblIncoming.setCaption(!waiting ? "" : (stage == Stage::Pin ? "PIN from " : "From ") + caller_);
  main.cmdAnswer.setEnabled(stage == Stage::Ringing);
  main.fraIncoming.setVisible(waiting);
  for (Label* help : {&main.Label3, &main.Label1, &main.Label6}) help->setVisible(!waiting);
  if (onChange) onChange();
}

void IncomingCalls::send(const std::string& command) {
  frmMain& main = program_.main();
  main.txtSend.setText(command);
  main.Dial_Phone();
}

bool IncomingCalls::inhibited() {
  auto* inhibit = dynamic_cast<TransmitInhibit*>(&program_.backends().node);
  return inhibit && inhibit->on();
}

void IncomingCalls::heard(const std::string& text) {
  std::vector<std::string> w = splitApiWords(text);
  if (w.size() < 4 || apiUpper(w[0]) != "CALL" || !isApiCallId(w[1])) return;
  const std::string& id = w[1];
  const std::string what = apiUpper(w[2]);
  if (what == "TYPE" && w.size() == 4) {
    std::string type = apiUpper(w[3]);
    if (type == "INCOMING_PSTN" || type == "INCOMING_P2P") {
      presentedId_ = id;
      presentedCaller_ = "unknown";
    }
    return;
  }
  if (what == "PARTNER_HANDLE" && id == presentedId_) {
    presentedCaller_ = safeCaller(w[3]);
    return;
  }
  if (what == "DTMF" && id == id_ && stage_ == Stage::Pin && w.size() == 4 && w[3].size() == 1) {
    char key = w[3][0];
    if (!keys_.take(key, CallerKeys::Way::Event, now())) return;
    program_.backends().scheduler.post([this, alive = std::weak_ptr<bool>(alive_), key] {
      if (!alive.expired()) callerKey(key);
    });
    return;
  }
  if (what == "DURATION" && id == id_) {
    seconds_ = static_cast<int>(parseInteger(w[3]).value_or(seconds_));
    return;
  }
  if (what != "STATUS" || w.size() != 4) return;
  const std::string status = apiUpper(w[3]);
  if (status == "RINGING" && id == presentedId_) {
    std::string caller = presentedCaller_;
    // Decided once this message has been handled: the telephone may be waiting in its SendMessage.
    program_.backends().scheduler.post([this, alive = std::weak_ptr<bool>(alive_), id, caller] {
      if (!alive.expired()) program_.trap("IncomingCalls", [&] { decide(id, caller); });
    });
  } else if (isCallEndStatus(status) && id == presentedId_) {
    presentedId_.clear();
    log("Incoming call from " + presentedCaller_ + " -- abandoned -- hung up before it was answered");
    ++results_["abandoned"];
  } else if (isCallEndStatus(status) && id == id_) {
    ended();
  }
}

void IncomingCalls::toneKey(char key) {
  if (stage_ == Stage::Pin && std::string_view("0123456789*#ABCD").find(key) != std::string_view::npos &&
      keys_.take(key, CallerKeys::Way::Tone, now()))
    callerKey(key);
}

void IncomingCalls::decide(const std::string& id, const std::string& caller) {
  if (presentedId_ != id) return;  // hung up before it could be decided
  presentedId_.clear();
  frmMain& main = program_.main();
  AccessControl& access = program_.access();
  const AccessSettings& s = access.current();
  if (stage_ != Stage::Idle || (!main.callUp.empty() && main.callUp != id))
    return refuse(id, caller, false, "busy", "another call is up");
  if (!s.present || !s.incomingOn) return refuse(id, caller, false, "refused", "incoming calls are off");
  const IncomingRule* rule = s.readable ? matchIncoming(s.incoming, caller) : nullptr;
  if (!rule || !rule->allow)
    return refuse(id, caller, true, "denied", rule ? describeIncomingRule(*rule) : "no incoming rule lets it in");
  if (inhibited()) return refuse(id, caller, false, "refused", "the transmitter inhibit is on");
  if (main.Check1.Value() != 1) return refuse(id, caller, false, "refused", "DTMF control is off");
  if (auto limit = access.incomingLimit()) return refuse(id, caller, false, "refused", *limit);
  if (auto it = locks_.find(callerForm(caller)); it != locks_.end() && it->second.until > now())
    return refuse(id, caller, true, "locked out", "wrong PINs, locked until " + formatLongTime(it->second.until));
  if (rule->mode == IncomingMode::Pin && pinCallersLockedUntil_ > now())
    return refuse(
        id, caller, true, "locked out",
        "too many wrong PINs from callers, every PIN caller refused until " + formatLongTime(pinCallersLockedUntil_));

  id_ = id;
  main.callUp = id;  // the main window's hang-up and "DD" reach it
  caller_ = caller;
  rule_ = *rule;
  keyed_.clear();
  keys_.reset();
  seconds_ = 0;
  ending_ = false;
  switch (rule->mode) {
    case IncomingMode::Auto:
      log("Incoming call from " + caller_ + " -- answered at once -- " + describeIncomingRule(*rule));
      return goOnAir("ANSWER", false);
    case IncomingMode::Pin:
      setStage(Stage::Pin);
      send("ALTER CALL " + id_ + " HOLD");
      pinTimer_.setEnabled(true);
      return;
    case IncomingMode::Ring:
      ringSince_ = now();
      setStage(Stage::Ringing);
      ring_.setEnabled(true);
      announceCaller();
      return;
  }
}

void IncomingCalls::refuse(const std::string& id, const std::string& caller, bool forbidden, const std::string& result,
                           const std::string& why) {
  log("Incoming call from " + caller + " -- " + result + " -- " + why);
  ++results_[result];
  send("ALTER CALL " + id + (forbidden ? " END FORBIDDEN" : " END BUSY"));
}

std::string IncomingCalls::spokenCaller() {
  const std::string form = callerForm(caller_);
  for (int i = 0; i < Buddy::kEntries; ++i) {
    BuddyEntry e = program_.buddy().entry(i);
    if (!e.PhoneOrSkypeName.Text().empty() && callerForm(e.PhoneOrSkypeName.Text()) == form &&
        !e.NameOrCallSign.Text().empty())
      return e.NameOrCallSign.Text();
  }
  return caller_ == "unknown" ? caller_ : std::string(trimBlanks(spellOut(caller_)));
}

void IncomingCalls::announceCaller() {
  announce(program_, phrase(program_, kIncomingPhrase) + " " + spokenCaller());
}

void IncomingCalls::ringTick() {
  if (stage_ != Stage::Ringing) return ring_.setEnabled(false);
  int ringSeconds = program_.access().current().ringSeconds;
  if (now() - ringSince_ + std::chrono::milliseconds(500) >= std::chrono::seconds(ringSeconds)) {
    ring_.setEnabled(false);
    finish("not answered", "rang " + std::to_string(ringSeconds) + " s");
    ending_ = true;
    send("ALTER CALL " + id_ + " END BUSY");
    return;
  }
  announceCaller();
}

bool IncomingCalls::radioDigits(const std::string& digits) {
  if (stage_ != Stage::Ringing || program_.main().Check1.Value() != 1 || !isAnswerCode(digits)) return false;
  log("Incoming call from " + caller_ + " -- answered by radio");
  goOnAir("ANSWER", true);
  return true;
}

bool IncomingCalls::answer(const std::string& who) {
  if (stage_ != Stage::Ringing) return false;
  log("Incoming call from " + caller_ + " -- answered by " + who);
  goOnAir("ANSWER", true);
  return true;
}

bool IncomingCalls::reject(const std::string& who) {
  if (stage_ == Stage::Idle || stage_ == Stage::OnAir) return false;
  finish("rejected", "by " + who);
  ending_ = true;
  send("ALTER CALL " + id_ + " END BUSY");
  return true;
}

// `announced`: the radio users have not heard who calls yet (auto, PIN): they do before the caller is put through.
void IncomingCalls::goOnAir(const char* verb, bool announced) {
  ring_.setEnabled(false);
  pinTimer_.setEnabled(false);
  program_.access().incomingAnswered(caller_);
  setStage(Stage::OnAir);
  if (!announced) announceCaller();
  if (stage_ == Stage::OnAir) send("ALTER CALL " + id_ + " " + verb);
}

void IncomingCalls::callerKey(char key) {
  if (stage_ != Stage::Pin) return;
  if (key == '#') return checkPin();
  std::size_t wanted = rule_.pin.size() + (rule_.oneTimeCode ? 6 : 0);
  if (keyed_.size() < wanted + 4) keyed_ += key;  // a few more than wanted: a wrong length is a wrong PIN
  if (!rule_.oneTimeCode && keyed_.size() == wanted) checkPin();
}

void IncomingCalls::checkPin() {
  std::string pin = keyed_.substr(0, std::min(keyed_.size(), rule_.pin.size()));
  std::string code = keyed_.size() > rule_.pin.size() ? keyed_.substr(rule_.pin.size()) : "";
  keyed_.clear();
  bool right = sameDigits(pin, rule_.pin) && (rule_.oneTimeCode ? code.size() == 6 : code.empty());
  if (right && rule_.oneTimeCode) right = program_.access().incomingCode(code);
  const std::string who = callerForm(caller_);
  if (right) {
    locks_.erase(who);
    log("Incoming call from " + caller_ + " -- PIN accepted -- " + describeIncomingRule(rule_));
    return goOnAir("RESUME", false);
  }
  // The table is bounded: the caller heard of longest ago makes room (a forged caller ID could fill it otherwise).
  if (!locks_.count(who) && locks_.size() >= kLockTable) {
    auto oldest = std::min_element(locks_.begin(), locks_.end(),
                                   [](const auto& a, const auto& b) { return a.second.last < b.second.last; });
    locks_.erase(oldest);
  }
  Lock& lock = locks_[who];
  lock.last = now();
  ++lock.wrong;
  const AccessSettings& s = program_.access().current();
  const bool everyCaller = wrongPinNodeWide();
  if (lock.wrong >= s.wrongCodesAllowed) {
    lock.until = now() + std::chrono::minutes(s.lockoutMinutes);
    lock.wrong = 0;
    return endForbidden("locked out", "wrong PIN, " + std::to_string(s.wrongCodesAllowed) + " in a row: locked until " +
                                          formatLongTime(lock.until));
  }
  if (everyCaller) return endForbidden("locked out", "too many wrong PINs from callers");
  log("Incoming call from " + caller_ + " -- wrong PIN -- " + std::to_string(lock.wrong) + " of " +
      std::to_string(s.wrongCodesAllowed) + " in a row");
}

bool IncomingCalls::wrongPinNodeWide() {
  const AccessSettings& s = program_.access().current();
  const auto window = std::chrono::minutes(s.lockoutMinutes);
  wrongPins_.push_back(now());
  while (!wrongPins_.empty() &&
         (now() - wrongPins_.front() >= window || wrongPins_.size() > static_cast<std::size_t>(s.wrongPinsAllowed)))
    wrongPins_.pop_front();
  if (wrongPins_.size() < static_cast<std::size_t>(s.wrongPinsAllowed)) return false;
  wrongPins_.clear();
  pinCallersLockedUntil_ = now() + window;
  // Once, here: the calls refused meanwhile each get their own line.
  log("Incoming calls with a PIN refused until " + formatLongTime(pinCallersLockedUntil_) + " -- " +
      std::to_string(s.wrongPinsAllowed) + " wrong PINs from callers within " + std::to_string(s.lockoutMinutes) +
      " minutes (WrongPinsAllowed)");
  return true;
}

void IncomingCalls::endForbidden(const std::string& result, const std::string& detail) {
  pinTimer_.setEnabled(false);
  finish(result, detail);
  ending_ = true;
  send("ALTER CALL " + id_ + " END FORBIDDEN");
}

void IncomingCalls::pinTimeUp() {
  pinTimer_.setEnabled(false);
  if (stage_ != Stage::Pin) return;
  endForbidden("no PIN", "no right PIN within " + std::to_string(kPinTime.count()) + " s");
}

// The telephone reports the call over: hung up by either side, or after the END this sent.
void IncomingCalls::ended() {
  if (stage_ == Stage::Idle) return;
  ring_.setEnabled(false);
  pinTimer_.setEnabled(false);
  if (stage_ == Stage::OnAir)
    finish("answered", std::to_string(seconds_) + " s");
  else if (!ending_)
    finish("abandoned", "ended before it was answered");
  id_.clear();
  ending_ = false;
  setStage(Stage::Idle);
}

void IncomingCalls::finish(const std::string& result, const std::string& detail) {
  if (stage_ == Stage::Idle || ending_) return;
  log("Incoming call from " + caller_ + " -- " + result + " -- " + detail);
  ++results_[result];
}

bool IncomingCalls::isAnswerCode(const std::string& digits) {
  AccessControl& access = program_.access();
  if (!access.configured()) return false;
  const AccessSettings& s = access.current();
  return s.incomingOn && !digits.empty() && digits == s.answerCode;
}

std::vector<std::string> IncomingCalls::codeProblems() {
  std::vector<std::string> problems;
  AccessControl& access = program_.access();
  if (!access.configured() || !access.current().incomingOn) return problems;
  const std::string code = access.current().answerCode;
  frmMain& main = program_.main();
  auto clash = [&](const std::string& what) {
    problems.push_back("The AnswerCode " + code + " of quillmere_dialrules.ini is also " + what +
                       ": a radio user could not answer a ringing call with it. Choose another.");
  };
  if (code == main.Enable_DTMF.Text() || code == main.Disable_DTMF.Text())
    clash("a switch code of the main window");
  else if (frmMain::isFixedDtmfCommand(code))
    clash("one of the program's own commands (*# requests, A, DD)");
  else if (!main.Enable_DTMF.Text().empty() && startsWith(code, main.Enable_DTMF.Text()) && access.oneTimeCodes())
    clash("the switch-on code followed by a one-time code");
  for (int i = 0; i < Buddy::kEntries; ++i)
    if (program_.buddy().entry(i).Dtmf.Text() == code)
      clash("the directory code of buddy entry " + std::to_string(i + 1));
  return problems;
}

}  // namespace qm
