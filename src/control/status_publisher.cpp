#include "control/status_publisher.h"

#include <algorithm>

#include "app/frm_main.h"
#include "app/program.h"
#include "control/transmit_time.h"
#include "echolink/transmit_inhibit.h"
#include "history/history_log.h"
#include "skype/incoming_calls.h"

namespace qm {

namespace {
// Bounds on what stations send: a conference of this many is far beyond any node's, and a callsign is short.
constexpr std::size_t kMaxStations = 500;
constexpr std::size_t kMaxCallsign = 32;
constexpr std::size_t kMaxProblem = 300;

std::string cut(const std::string& text, std::size_t limit) {
  return text.size() <= limit ? text : text.substr(0, limit);
}
const char* incomingState(IncomingCalls::Stage stage) {
  switch (stage) {
    case IncomingCalls::Stage::Ringing:
      return "RINGING";
    case IncomingCalls::Stage::Pin:
      return "PIN";
    default:
      return "INPROGRESS";
  }
}
}  // namespace

StatusPublisher::StatusPublisher(Program& program, TransmitInhibit& inhibit, StatusSink& sink)
    : program_(program), inhibit_(inhibit), sink_(sink), app_(inhibit.createApp()) {
  EchoLinkEvents& e = app_->events;
  e.CarrierDetect = [this](bool) { refresh(); };
  e.RX = [this](bool) { refresh(); };
  e.DTMFString = [this](const std::string&) {
    ++status_.dtmfStrings;
    refresh();
  };
  e.connected = [this](const std::string& call, const std::string&, const std::string&) {
    std::string c = cut(call, kMaxCallsign);
    auto& list = status_.stations;
    if (std::find(list.begin(), list.end(), c) == list.end() && list.size() < kMaxStations) list.push_back(c);
    refresh();
  };
  e.Disconnected = [this](const std::string& call) {
    std::erase(status_.stations, cut(call, kMaxCallsign));
    refresh();
  };
  program_.transmitTime().onChange = [this] { refresh(); };
  program_.incoming().onChange = [this] { refresh(); };
}

StatusPublisher::~StatusPublisher() {
  program_.transmitTime().onChange = nullptr;
  program_.incoming().onChange = nullptr;
}

void StatusPublisher::setProblem(const std::string& text) {
  status_.problem = cut(text, kMaxProblem);
  refresh();
}

void StatusPublisher::refresh() {
  NodeStatus s = status_;
  frmMain& main = program_.main();
  try {
    s.callsign = cut(Program::localCallsign(*app_), kMaxCallsign);
    s.carrier = app_->CarrierState();
  } catch (const AutomationError&) {
    // A node that does not answer shows as it last did.
  }
  const TransmitTime& transmit = program_.transmitTime();
  s.ptt = transmit.keyed();
  s.pttSinceMs = transmit.sinceMs();
  s.pttBy = transmit.by();
  s.transmitMsDone = transmit.doneMs();
  s.inhibit = inhibit_.on();
  s.dtmfControl = main.Check1.Value() == 1;
  s.timeoutCounter = main.Counter.Caption();
  const CallRecords& calls = program_.historyLog().calls();
  const IncomingCalls& incoming = program_.incoming();
  if (!calls.target().empty())
    s.call = NodeStatus::Call{cut(calls.target(), 64), calls.state(), calls.seconds()};
  else if (incoming.stage() != IncomingCalls::Stage::Idle)
    s.call = NodeStatus::Call{incoming.caller(), incomingState(incoming.stage()), incoming.seconds(), true};
  else
    s.call.reset();
  s.callResults = calls.results();
  s.incomingResults = incoming.results();
  if (directoryState) s.directory = cut(directoryState(), 100);
  if (levels) s.levels = levels();
  if (audioOverruns) s.audioOverruns = audioOverruns();
  if (registration) s.registration = cut(registration(), 100);
  if (published_ && s == status_) return;
  status_ = std::move(s);
  published_ = true;
  sink_.publish(status_);
}

}  // namespace qm
