#include "skype/simulated_skype.h"

#include <algorithm>
#include <sstream>

#include "platform/scheduler.h"
#include "skype/api_command.h"

namespace qm {
namespace {

const char* stateName(int state) {
  static const char* names[] = {"RINGING", "INPROGRESS", "ONHOLD"};
  return names[state];
}

}  // namespace

std::optional<SimulatedSkype::AttachMode> SimulatedSkype::parseAttachMode(const std::string& word) {
  if (word == "allow") return AttachMode::Allow;
  if (word == "allow-now") return AttachMode::AllowNow;
  if (word == "refuse") return AttachMode::Refuse;
  if (word == "absent") return AttachMode::Absent;
  return std::nullopt;
}

SimulatedSkype::SimulatedSkype(WindowSystem& windows, Scheduler& scheduler, OutputLog& log)
    : SkypeApiWindow(windows, log),
      scheduler_(scheduler),
      authorization_(host_, "authorization", scheduler, static_cast<int>(kAuthorizationDelay.count()), false),
      durations_(host_, "durations", scheduler, 1000, false),
      answering_(host_, "answering", scheduler, static_cast<int>(kDefaultAnswerDelay.count()), false) {
  authorization_.onTimer = [this] { authorizationDue(); };
  durations_.onTimer = [this] { durationTick(); };
  answering_.onTimer = [this] { answerDue(); };
}

void SimulatedSkype::launch() {
  if (running() || mode_ == AttachMode::Absent) return;
  openWindow("tSkypeAPIWindow");
}

void SimulatedSkype::discovered(HWND client) {
  if (client == 0 || client == apiWindow()) return;
  if (mode_ == AttachMode::Refuse) return sendAttach(client, 2, 0);
  if (mode_ == AttachMode::AllowNow || allowed_.count(client)) {
    allowed_.insert(client);
    return sendAttach(client, 0, apiWindow());
  }
  sendAttach(client, 1, 0);
  pending_ = client;
  authorization_.setEnabled(false);  // a discover during the wait starts it afresh
  authorization_.setEnabled(true);
}

void SimulatedSkype::authorizationDue() {
  authorization_.setEnabled(false);
  if (!pending_) return;
  HWND client = pending_;
  pending_ = 0;
  allowed_.insert(client);
  sendAttach(client, 0, apiWindow());
}

void SimulatedSkype::placeCall(HWND from, const std::string&) {
  Call call{nextCall_++, from, CallState::Ringing, 0, scheduler_.now()};
  calls_.push_back(call);
  std::string prefix = "CALL " + std::to_string(call.id) + " STATUS ";
  notify(from, prefix + "ROUTING");
  notify(from, prefix + "RINGING");
  scheduleAnswer();
}

void SimulatedSkype::setMute(HWND from, bool on) {
  muted_ = on;
  notify(from, muted_ ? "MUTE ON" : "MUTE OFF");
}

void SimulatedSkype::callCommand(HWND from, const ApiCommand& c) {
  Call* call = find(c.callId);
  if (!call) return notify(from, "ERROR 11 Invalid call id");
  std::string prefix = "CALL " + std::to_string(call->id) + " ";
  if (c.verb == ApiCommand::Verb::HangUp) return finish(call->id);
  if (c.verb == ApiCommand::Verb::GetStatus)
    return notify(from, prefix + "STATUS " + stateName(static_cast<int>(call->state)));
  notify(from, prefix + "DURATION " + std::to_string(call->seconds));
}

void SimulatedSkype::alterCall(HWND from, const ApiCommand& c) {
  Call* call = find(c.callId);
  const std::string& action = c.action;
  if (!call || !call->incoming) return notify(from, "ERROR 11 Invalid call id");
  if (action == "END") return finish(call->id);
  if ((action == "RESUME") != (call->state == CallState::OnHold) ||
      (action != "RESUME" && call->state != CallState::Ringing))
    return notify(from, "ERROR 11 Invalid call id");
  if (action == "HOLD") {
    call->state = CallState::OnHold;
    return notify(call->owner, "CALL " + std::to_string(call->id) + " STATUS ONHOLD");
  }
  start(*call);
}

bool SimulatedSkype::incoming(HWND to, const std::string& caller) {
  if (!running() || caller.empty()) return false;
  Call call{nextCall_++, to, CallState::Ringing, 0, scheduler_.now(), true};
  calls_.push_back(call);
  std::string prefix = "CALL " + std::to_string(call.id) + " ";
  notify(to, prefix + "TYPE INCOMING_PSTN");
  notify(to, prefix + "PARTNER_HANDLE " + caller);
  notify(to, prefix + "STATUS RINGING");
  return true;
}

bool SimulatedSkype::keys(const std::string& digits) {
  for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
    if (!it->incoming || it->state == CallState::Ringing) continue;
    int id = it->id;
    HWND owner = it->owner;
    for (char d : digits)
      if (find(id)) notify(owner, "CALL " + std::to_string(id) + " DTMF " + std::string(1, d));
    return true;
  }
  return false;
}

SimulatedSkype::Call* SimulatedSkype::find(int id) {
  auto it = std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.id == id; });
  return it == calls_.end() ? nullptr : &*it;
}

SimulatedSkype::Call* SimulatedSkype::latest(bool ringingOnly) {
  for (auto it = calls_.rbegin(); it != calls_.rend(); ++it)
    if (!ringingOnly || (it->state == CallState::Ringing && !it->incoming)) return &*it;
  return nullptr;
}

void SimulatedSkype::start(Call& call) {
  call.state = CallState::InProgress;
  call.seconds = 0;
  HWND owner = call.owner;
  std::string text = "CALL " + std::to_string(call.id) + " STATUS INPROGRESS";
  durations_.setEnabled(true);  // already running for another call: its phase is kept
  notify(owner, text);
}

void SimulatedSkype::finish(int id) {
  Call* call = find(id);
  if (!call) return;
  HWND owner = call->owner;
  std::erase_if(calls_, [&](const Call& c) { return c.id == id; });
  if (std::none_of(calls_.begin(), calls_.end(), [](const Call& c) { return c.state == CallState::InProgress; }))
    durations_.setEnabled(false);
  notify(owner, "CALL " + std::to_string(id) + " STATUS FINISHED");
}

bool SimulatedSkype::answer() {
  Call* call = latest(true);
  if (!call) return false;
  start(*call);
  scheduleAnswer();
  return true;
}

bool SimulatedSkype::hangup() {
  Call* call = latest(false);
  if (!call) return false;
  finish(call->id);
  scheduleAnswer();
  return true;
}

bool SimulatedSkype::busy() {
  Call* call = latest(true);
  if (!call) return false;
  int id = call->id;
  notify(call->owner, "CALL " + std::to_string(id) + " STATUS BUSY");
  finish(id);
  scheduleAnswer();
  return true;
}

void SimulatedSkype::durationTick() {
  // Snapshot: a notification may run code that ends calls.
  std::vector<int> running;
  for (const Call& c : calls_)
    if (c.state == CallState::InProgress) running.push_back(c.id);
  if (running.empty()) return durations_.setEnabled(false);
  for (int id : running) {
    Call* call = find(id);
    if (!call || call->state != CallState::InProgress) continue;
    ++call->seconds;
    notify(call->owner, "CALL " + std::to_string(id) + " DURATION " + std::to_string(call->seconds));
  }
}

void SimulatedSkype::scheduleAnswer() {
  answering_.setEnabled(false);
  if (!answerDelay_) return;
  std::optional<Scheduler::TimePoint> next;
  for (const Call& c : calls_)
    if (c.state == CallState::Ringing && !c.incoming && (!next || c.ringingSince < *next)) next = c.ringingSince;
  if (!next) return;
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next + *answerDelay_ - scheduler_.now());
  answering_.setInterval(static_cast<int>(std::clamp<long long>(wait.count(), 1, 65535)));
  answering_.setEnabled(true);
}

void SimulatedSkype::answerDue() {
  answering_.setEnabled(false);
  if (!answerDelay_) return;
  std::vector<int> due;
  for (const Call& c : calls_)
    if (c.state == CallState::Ringing && !c.incoming && c.ringingSince + *answerDelay_ <= scheduler_.now())
      due.push_back(c.id);
  for (int id : due)
    if (Call* call = find(id); call && call->state == CallState::Ringing) start(*call);
  scheduleAnswer();
}

}  // namespace qm
