#include "sip/sip_skype.h"

#include <algorithm>
#include <sstream>

#include "platform/vb_text.h"
#include "skype/api_text.h"
#include "skype/incoming_calls.h"

namespace qm {
namespace {

const char* stageName(int stage) {
  static const char* names[] = {"ROUTING", "RINGING", "INPROGRESS", "ONHOLD", "FINISHED"};
  return names[stage];
}

}  // namespace

SipSkype::SipSkype(WindowSystem& windows, Scheduler& scheduler, OutputLog& log, Prompter& prompter, BaresipAgent& agent)
    : SkypeApiWindow(windows, log),
      scheduler_(scheduler),
      prompter_(prompter),
      agent_(agent),
      durations_(host_, "durations", scheduler, 1000, false),
      hangupLimit_(host_, "hangupLimit", scheduler, static_cast<int>(kHangupLimit.count()), false),
      registration_(scheduler, agent) {
  registration_.callUp = [this] { return active() != nullptr; };
  registration_.remark = [this](const std::string& text) { note(text); };
  registration_.onChange = [this](SipRegistration::State state, const std::string& text) {
    registrationChanged(state, text);
  };
  durations_.onTimer = [this] { durationTick(); };
  hangupLimit_.onTimer = [this] { hangupDue(); };
  agent_.listener.ready = [this] { agentReady(); };
  agent_.listener.down = [this](const std::string& why, bool wasReady) { agentDown(why, wasReady); };
  agent_.listener.message = [this](const BaresipMessage& m) { agentMessage(m); };
  agent_.listener.remark = [this](const std::string& text) { note(text); };
}

SipSkype::~SipSkype() {
  agent_.listener = {};
}

void SipSkype::open() {
  if (!running()) openWindow("QuillmereSipClient");
}

void SipSkype::launch() {
  if (launched_) return;
  launched_ = true;
  open();
  registration_.configure(agent_.settings());
  agent_.start();
}

void SipSkype::note(const std::string& text) {
  if (remark) remark(text);
}

void SipSkype::warnLater(const std::string& text) {
  // Shown from the message loop, never inside the handling of a message (a desktop box runs a loop of its own).
  scheduler_.post([this, text] {
    if (!deaf()) prompter_.show(text, "", BoxIcon::Warning, BoxButtons::Ok);
  });
}

void SipSkype::sendAttach(HWND to, LPARAM status) {
  if (deaf() || to == 0) return;
  toldClient_ = status;
  SkypeApiWindow::sendAttach(to, status, status == 0 ? apiWindow() : 0);
}

void SipSkype::discovered(HWND client) {
  if (client == 0 || client == apiWindow()) return;
  client_ = client;
  if (agent_.ready())
    sendAttach(client, 0);
  else if (agent_.starting())
    sendAttach(client, 1);
  else
    sendAttach(client, 3);
}

int SipSkype::activeCallId() const {
  for (const Call& c : calls_)
    if (c.stage != Stage::Finished) return c.id;
  return 0;
}

SipSkype::Call* SipSkype::find(int id) {
  auto it = std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.id == id; });
  return it == calls_.end() ? nullptr : &*it;
}

SipSkype::Call* SipSkype::active() {
  int id = activeCallId();
  return id ? find(id) : nullptr;
}

SipSkype::Call* SipSkype::bySipId(const std::string& sipId) {
  if (sipId.empty()) return nullptr;
  auto it = std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.sipId == sipId; });
  return it == calls_.end() ? nullptr : &*it;
}

void SipSkype::placeCall(HWND from, const std::string& target) {
  Call call{nextCall_++, from, "", "", Stage::Routing, "", {}, 0, false, false, "", false};
  std::string prefix = "CALL " + std::to_string(call.id) + " STATUS ";
  if (Call* up = active()) {
    note("call " + std::to_string(call.id) + " to \"" + target + "\" refused: call " + std::to_string(up->id) +
         " is still up (one call at a time)");
    call.stage = Stage::Finished;
    call.finalStatus = "FAILED";
    calls_.push_back(call);
    pruneFinished();
    return notify(from, prefix + "FAILED");
  }
  DialResult dial = resolveTarget(dialPlan_, target);
  call.uri = dial.uri;
  calls_.push_back(call);
  pruneFinished();
  if (dial.uri.empty()) return finish(call.id, "\"" + target + "\" cannot be dialled: " + dial.problem);
  if (!agent_.ready()) return finish(call.id, "the SIP user agent is not running");
  if (registration_.registers() && registration_.state() != SipRegistration::State::Registered) {
    finish(call.id, "the SIP account is not registered", kFailureNoProxy);
    return registration_.callRequested();  // once that call is over: an attempt is made only while none is up
  }
  note("call " + std::to_string(call.id) + ": dialling " + dial.uri);
  agent_.send("dial", dial.uri, "dial " + std::to_string(call.id));
  notify(from, prefix + "ROUTING");
}

void SipSkype::callCommand(HWND from, const ApiCommand& c) {
  Call* call = find(c.callId);
  if (!call) return notify(from, "ERROR 11 Invalid call id");
  std::string prefix = "CALL " + std::to_string(call->id) + " ";
  if (c.verb == ApiCommand::Verb::GetDuration)
    return notify(from, prefix + "DURATION " + std::to_string(call->reportedSeconds));
  if (c.verb == ApiCommand::Verb::GetStatus) {
    std::string status = call->stage == Stage::Finished ? call->finalStatus : stageName(static_cast<int>(call->stage));
    return notify(from, prefix + "STATUS " + status);
  }
  if (call->stage == Stage::Finished) return notify(from, "ERROR 11 Invalid call id");
  if (call->hangupRequested) return;  // already on its way down
  call->hangupRequested = true;
  int callId = call->id;
  if (!agent_.send("hangup", "", "hangup " + std::to_string(callId))) return finish(callId, "hung up");
  hangupLimit_.setEnabled(true);
}

void SipSkype::hold(bool held) {
  if (onHold) onHold(held);
}

void SipSkype::alterCall(HWND from, const ApiCommand& c) {
  const std::string& action = c.action;
  Call* call = find(c.callId);
  if (!call || !call->incoming || call->stage == Stage::Finished) return notify(from, "ERROR 11 Invalid call id");
  const std::string n = std::to_string(call->id);
  if (action == "END") {
    if (call->hangupRequested) return;
    call->hangupRequested = true;
    bool forbidden = c.reason == "FORBIDDEN";
    note("call " + n + " from " + call->caller + " refused (" + (forbidden ? "not allowed, 403" : "busy, 486") + ")");
    if (call->stage == Stage::Ringing) agent_.setRefusal(forbidden ? 403 : 486);
    if (!agent_.send("hangup", "", "hangup " + n)) return finish(call->id, "refused");
    hangupLimit_.setEnabled(true);
    return;
  }
  if (action == "RESUME") {
    if (call->stage != Stage::OnHold) return notify(from, "ERROR 11 Invalid call id");
    call->stage = Stage::InProgress;
    call->establishedAt = scheduler_.now();
    call->reportedSeconds = 0;
    hold(false);
    durations_.setEnabled(true);
    notify(call->owner, "CALL " + n + " STATUS INPROGRESS");
    return syncMute();
  }
  if (call->stage != Stage::Ringing) return notify(from, "ERROR 11 Invalid call id");
  call->answerHeld = action == "HOLD";
  if (!call->answerHeld) hold(false);
  if (!agent_.send("accept", "", "accept " + n)) finish(call->id, "the SIP user agent is not running");
}

void SipSkype::incomingCall(const BaresipEvent& e) {
  // The user part of sip:5551234@host, or the host when there is none; hostile text, made safe before anyone sees it.
  std::string uri = e.peerUri;
  for (const char* scheme : {"sip:", "sips:", "tel:"})
    if (uri.rfind(scheme, 0) == 0) uri = uri.substr(std::string(scheme).size());
  std::string caller = safeCaller(uri.substr(0, uri.find_first_of("@;>")));
  if (active()) {
    // Not expected (baresip takes one call at a time); the call that is up is kept.
    note("a call from " + caller + " arrived while one is up; baresip refuses it");
    return;
  }
  Call call{nextCall_++, client_, "", e.callId, Stage::Ringing, "", {}, 0, false, true, caller, false};
  calls_.push_back(call);
  pruneFinished();
  hold(true);  // the ring tone and anything else of the caller stay off the air until the program answers
  note("call " + std::to_string(call.id) + " from " + caller + " rings");
  std::string prefix = "CALL " + std::to_string(call.id) + " ";
  notify(client_, prefix + "TYPE INCOMING_PSTN");
  notify(client_, prefix + "PARTNER_HANDLE " + caller);
  notify(client_, prefix + "STATUS RINGING");
}

void SipSkype::setMute(HWND from, bool on) {
  wantMuted_ = on;
  if (onMute) onMute(on);
  notify(from, on ? "MUTE ON" : "MUTE OFF");
  syncMute();
}

void SipSkype::syncMute() {
  Call* call = active();
  if (!call || call->stage != Stage::InProgress || muteInFlight_ || callMuted_ == wantMuted_) return;
  // baresip's "mute" toggles the current call's microphone; its answer says which way it went.
  if (agent_.send("mute", "", "mute")) muteInFlight_ = true;
}

void SipSkype::applySettings(const SipSettings& settings) {
  dialPlan_ = settings.dialPlan();
  if (!agent_.settings().agentDiffers(settings)) return;
  if (active()) {
    pendingSettings_ = settings;
    note("the new SIP settings take effect when the call has ended");
    return;
  }
  agent_.setSettings(settings);
  registration_.configure(settings);
  note("restarting baresip with the new SIP settings");
  agent_.restart();
}

void SipSkype::afterCall() {
  if (!pendingSettings_ || active()) return;
  SipSettings settings = *pendingSettings_;
  pendingSettings_.reset();
  agent_.setSettings(settings);
  registration_.configure(settings);
  note("restarting baresip with the new SIP settings");
  agent_.restart();
}

void SipSkype::agentReady() {
  if (outageReported_) note("baresip is running again");
  outageReported_ = false;
  if (client_ && toldClient_ != 0) sendAttach(client_, 0);
  registration_.agentReady();
}

void SipSkype::agentDown(const std::string& why, bool wasReady) {
  muteInFlight_ = false;
  registration_.agentDown();
  if (Call* call = active()) finish(call->id, "baresip stopped: " + why);
  if (client_ && toldClient_ && *toldClient_ != 3) sendAttach(client_, 3);
  if (outageReported_) return;  // told once for each outage; later attempts go to the log only
  outageReported_ = true;
  if (wasReady)
    warnLater("The SIP user agent (baresip) stopped: " + why +
              ".\r\nA call that was up has ended. Quillmere starts baresip again by itself.");
  else
    warnLater("Quillmere could not start the SIP user agent (baresip): " + why +
              ".\r\nNo call can be placed until it runs. Check that baresip is installed and the SIP settings "
              "(quillmere_sip.ini); Quillmere keeps trying by itself.");
}

void SipSkype::agentMessage(const BaresipMessage& message) {
  if (const auto* event = std::get_if<BaresipEvent>(&message))
    agentEvent(*event);
  else
    agentResponse(std::get<BaresipResponse>(message));
}

void SipSkype::agentEvent(const BaresipEvent& e) {
  if (registration_.event(e)) return;
  if (e.eventClass != "call" || e.callId.empty()) return;
  Call* call = bySipId(e.callId);
  if (!call && e.direction == "outgoing") {
    // The first event naming a call that was dialled binds it to the call that waits for one.
    Call* waiting = active();
    if (waiting && waiting->sipId.empty()) {
      waiting->sipId = e.callId;
      call = waiting;
    }
  }
  if (!call) {
    if (e.type == "CALL_INCOMING") incomingCall(e);
    return;
  }
  if (call->stage == Stage::Finished) return;
  int id = call->id;
  std::string prefix = "CALL " + std::to_string(id) + " STATUS ";
  if (e.type == "CALL_RINGING" || e.type == "CALL_PROGRESS") {
    if (call->stage != Stage::Routing) return;
    call->stage = Stage::Ringing;
    notify(call->owner, prefix + "RINGING");
  } else if (e.type == "CALL_ESTABLISHED" && call->incoming && call->answerHeld) {
    if (call->stage != Stage::Ringing) return;
    call->stage = Stage::OnHold;
    notify(call->owner, prefix + "ONHOLD");
  } else if (e.type == "CALL_DTMF_START") {
    // One key of the caller's, RFC 4733 (or SIP INFO) as baresip decodes it.
    const std::string& key = e.param;
    if (key.size() == 1 && std::string_view("0123456789*#ABCD").find(key[0]) != std::string_view::npos &&
        (call->stage == Stage::OnHold || call->stage == Stage::InProgress))
      notify(call->owner, "CALL " + std::to_string(id) + " DTMF " + key);
  } else if (e.type == "CALL_ESTABLISHED") {
    if (call->stage == Stage::InProgress) return;
    call->stage = Stage::InProgress;
    call->establishedAt = scheduler_.now();
    call->reportedSeconds = 0;
    callMuted_ = false;
    durations_.setEnabled(true);
    HWND owner = call->owner;
    notify(owner, prefix + "INPROGRESS");
    syncMute();
  } else if (e.type == "CALL_CLOSED") {
    finish(id, e.param);
  }
}

void SipSkype::agentResponse(const BaresipResponse& r) {
  if (registration_.response(r)) return;
  if (r.token == "mute") {
    muteInFlight_ = false;
    if (!r.ok) {
      note("baresip did not mute: " + r.data);
      return;
    }
    if (r.data.find("un-muted") != std::string::npos)
      callMuted_ = false;
    else if (r.data.find("muted") != std::string::npos)
      callMuted_ = true;
    syncMute();
    return;
  }
  auto space = r.token.find(' ');
  std::string what = r.token.substr(0, space);
  std::int64_t id = space == std::string::npos ? 0 : parseInteger(r.token.substr(space + 1)).value_or(0);
  if (r.ok || id <= 0 || id >= nextCall_) return;
  Call* call = find(static_cast<int>(id));
  if (!call || call->stage == Stage::Finished) return;
  if (what == "dial") {
    note("baresip could not dial " + call->uri + ": " + r.data);
    finish(call->id, r.data);
  } else if (what == "accept") {
    note("baresip could not answer call " + std::to_string(call->id) + ": " + r.data);
    finish(call->id, r.data);
  } else if (what == "hangup") {
    note("baresip could not hang up call " + std::to_string(call->id) + ": " + r.data);
    finish(call->id, r.data);
  }
}

void SipSkype::registrationChanged(SipRegistration::State state, const std::string& text) {
  if (deaf()) return;
  log_.record({"sip", text, true, ""});
  if (onRegistration) onRegistration(text);
  // A refusal needs the operator; a registrar that does not answer is retried and shown, not boxed.
  if (state == SipRegistration::State::Refused) warnLater(text + ".");
}

void SipSkype::finish(int id, const std::string& reason, int failureReason) {
  Call* call = find(id);
  if (!call || call->stage == Stage::Finished) return;
  Stage was = call->stage;
  bool hungUp = call->hangupRequested;
  HWND owner = call->owner;
  std::string uri = call->uri;
  call->stage = Stage::Finished;
  call->finalStatus = "FINISHED";
  std::string first;
  if (call->incoming) hold(false);  // the next call starts on the air as ever
  if (was != Stage::InProgress && !hungUp && !call->incoming) {
    int code = sipStatusOf(reason);
    first = code == 486 || code == 600                  ? "BUSY"
            : code == 603                               ? "REFUSED"
            : code == 408 || code == 480 || code == 487 ? "MISSED"
                                                        : "FAILED";
  }
  if (!active()) {
    durations_.setEnabled(false);
    hangupLimit_.setEnabled(false);
  }
  note("call " + std::to_string(id) + (uri.empty() ? "" : " to " + uri) + " ended: " + reason);
  std::string prefix = "CALL " + std::to_string(id) + " STATUS ";
  if (failureReason != 0 && first == "FAILED")
    notify(owner, "CALL " + std::to_string(id) + " FAILUREREASON " + std::to_string(failureReason));
  if (!first.empty()) notify(owner, prefix + first);
  notify(owner, prefix + "FINISHED");
  afterCall();
}

void SipSkype::durationTick() {
  Call* call = active();
  if (!call || call->stage != Stage::InProgress) return durations_.setEnabled(false);
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(scheduler_.now() - call->establishedAt).count();
  if (seconds <= call->reportedSeconds) return;
  // A thread held for a while (speech) reports the time reached, not every second it missed.
  call->reportedSeconds = static_cast<int>(seconds);
  notify(call->owner, "CALL " + std::to_string(call->id) + " DURATION " + std::to_string(seconds));
}

void SipSkype::hangupDue() {
  hangupLimit_.setEnabled(false);
  Call* call = active();
  if (call && call->hangupRequested) {
    note("baresip did not confirm the hang-up of call " + std::to_string(call->id) + "; taking it as ended");
    finish(call->id, "hung up");
  }
}

void SipSkype::pruneFinished() {
  std::size_t finished = 0;
  for (const Call& c : calls_)
    if (c.stage == Stage::Finished) ++finished;
  while (finished > kFinishedCallsKept) {
    auto it = std::find_if(calls_.begin(), calls_.end(), [](const Call& c) { return c.stage == Stage::Finished; });
    calls_.erase(it);
    --finished;
  }
}

}  // namespace qm
