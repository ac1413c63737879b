#include "radio/radio_node.h"

#include <AsyncCppApplication.h>
#include <AsyncFdWatch.h>
#include <AsyncTimer.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>

#include "echolink/air_recording.h"
#include "platform/output_log.h"
#include "platform/scheduler.h"
#include "radio/jack_audio.h"
#include "radio/jack_link.h"
#include "radio/network_bridge.h"
#include "radio/overrun_report.h"
#include "radio/receive_path.h"
#include "radio/transmit_path.h"

namespace qm::radio {

namespace {

using std::chrono::milliseconds;

// How often the thread moves audio: every 20 ms while anything moves. Once nothing has for a second it rests: it
// turns once a second at most (radio_in's ring holds two seconds or more), and JACK's callback wakes it in the first
// period loud enough to open the VOX or to be a DTMF tone. An idle node on a quiet receiver wakes about once a second,
// not fifty times, and what it hears is taken as soon as before, none of it lost.
constexpr milliseconds kPump{20};
constexpr milliseconds kLongestRest{1000};
constexpr std::chrono::seconds kRestAfter{1};
constexpr std::chrono::seconds kStopBound{6};  // the node's thread ends within this (its network logs off in 3 s)

void silent(const char*) {}

}  // namespace

// Everything the node's thread owns: the parts, and what they tell the program. At each turn the parts are serviced
// in the order audio flows: the link, what was heard, the network, what goes out.
struct RadioNode::Loop {
  Loop(RadioNode& n, std::unique_ptr<PttLine> ptt, std::unique_ptr<SquelchLine> squelch)
      : node(n),
        link(jack, clock, {n.settings_.jackServer, n.settings_.capturePort, n.settings_.playbackPort}),
        receive(jack, clock, n.settings_, n.gauges_, std::move(squelch)),
        transmit(jack, link, clock, n.settings_, n.gauges_, std::move(ptt)),
        bridge(transmit, n.gauges_, n.makeNetwork) {
    link.problem = [this](const std::string& text) { problem(text); };
    link.settle = [this](const std::string& text) { return node.settleAudio(text); };
    link.up = [this](int rate) { audioUp(rate); };
    link.gone = [this] { transmit.audioGone(); };
    receive.onCarrier = [this](bool on) { carrierChanged(on); };
    receive.onDigits = [this](const std::string& digits) { raiseDigits(digits); };
    receive.onDigit = [this](char digit) {
      node.toProgram([n = &node, digit] {
        if (n->onDigit) n->onDigit(digit);
      });
    };
    receive.onAudio = [this](const float* samples, std::size_t count) {
      const bool carrier = node.gauges_.carrier.load();
      if (carrier) bridge.radioAudio(samples, count);
      transmit.callHears(samples, count, carrier);
    };
    receive.onProblem = [this](const std::string& text, bool history) { history ? tell(text) : problem(text); };
    transmit.onProblem = [this](const std::string& text) { problem(text); };
    // Wakes the program, whose PTT display polls PTTState and rests while it stays.
    transmit.onLineChanged = [this] {
      pace();
      node.toProgram([] {});
    };
    transmit.onCallerKey = [this](char key) {
      node.toProgram([n = &node, key] {
        if (n->onCallerKey) n->onCallerKey(key);
      });
    };
    if (node.air)
      transmit.onAir = [this](std::vector<std::int16_t> pcm, int rate) {
        node.toProgram([n = &node, pcm = std::move(pcm), rate] {
          if (n->air) n->air->append(pcm, rate);
        });
      };
    bridge.onEvent = [this](const NodeEvent& event) { networkEvent(event); };
    bridge.onProblem = [this](const std::string& text) { problem(text); };
    bridge.onStatus = [this](const std::string& text) {
      node.toProgram([n = &node, text] { n->networkStatus_ = text; });
    };
    bridge.onAnnounce = [this](const std::string& text) {
      node.toProgram([n = &node, text] {
        if (n->onAnnounce) n->onAnnounce(text);
      });
    };
  }

  RadioNode& node;
  SteadyClock clock;
  JackAudio jack;
  JackLink link;
  ReceivePath receive;
  TransmitPath transmit;
  NetworkBridge bridge;
  AudioOverruns overrunsSeen;
  OverrunReport overrunReport;
  Async::Application* app = nullptr;
  Async::Timer* pumpTimer = nullptr;
  MonotonicClock::time_point lastMoved{};
  bool resting = false;

  void problem(const std::string& text) {
    node.toProgram([n = &node, text] {
      if (n->onProblem) n->onProblem(text);
    });
  }

  // The problem line and the history log.
  void tell(const std::string& text) {
    problem(text);
    node.toProgram([n = &node, text] {
      if (n->onHistory) n->onHistory(text);
    });
  }

  void audioUp(int rate) {
    node.gauges_.jackRate = rate;
    receive.start(rate);
    transmit.start(rate);
    bridge.start(rate);
    transmit.followCall(node.callPeer);
  }

  void carrierChanged(bool on) {
    pace();
    if (!on) bridge.radioAudioEnd();
    node.toProgram([n = &node, on] { n->raiseHeard(node_event::CarrierDetect{on}); });
  }

  void raiseDigits(const std::string& digits) {
    node.toProgram([n = &node, digits] {
      n->raiseHeard(node_event::DTMFString{digits});
      // The program's codes are its own: the network's functions never take them.
      bool programCode = n->isProgramCode && n->isProgramCode(digits);
      n->command([n, digits, programCode] {
        if (NetworkPort* network = n->loop_->bridge.network()) network->dtmf(digits, programCode);
      });
    });
  }

  void networkEvent(const NodeEvent& event) {
    node.toProgram([n = &node, event] { n->raiseHeard(event); });
  }

  // Audio lost since the last turn: counted for the status, told on standard error now and then.
  void countOverruns() {
    const AudioOverruns total = jack.overruns();
    const AudioOverruns more = total - overrunsSeen;
    overrunsSeen = total;
    if (more.any()) node.gauges_.addOverruns(more);
    if (auto line = overrunReport.add(more, clock.now())) std::cerr << *line << "\n";
  }

  void pump() {
    if (node.onAlive) node.onAlive();
    link.service();
    receive.receive();
    transmit.fromCall();
    bridge.service();
    receive.service();
    transmit.service();
    transmit.flushAir();
    countOverruns();
    pace();
  }

  // The quick turn while anything moves, the resting one a second after it all stopped. Looked at after every turn
  // and whenever something may have started (a command, the squelch line, a keying, a call's ports, a sound).
  void pace() {
    if (!pumpTimer) return;
    const auto now = clock.now();
    if (receive.moving() || transmit.moving()) lastMoved = now;
    const bool rest = now - lastMoved >= kRestAfter;
    if (rest != resting) {
      resting = rest;
      jack.wakeOnSound(rest ? receive.soundPeak() : -1.0f);
    }
    const milliseconds want = !rest           ? kPump
                              : jack.isOpen() ? std::clamp(jack.ringTime(), kPump, kLongestRest)
                                              : kLongestRest;
    if (pumpTimer->timeout() != static_cast<int>(want.count())) pumpTimer->setTimeout(static_cast<int>(want.count()));
  }

  // radio_in brought a sound while the loop rested: quick turns while it is heard.
  void heardSound() {
    eventfd_t count;
    (void)::eventfd_read(jack.soundFd(), &count);
    lastMoved = clock.now();
    pump();
  }

  void closeNow(int signum) {
    // The transmitter goes first; then the program hears of the closing and ends.
    transmit.close();
    if (node.onStopSignal) node.onStopSignal();
    node.toProgram([n = &node] { n->raiseHeard(node_event::Closing{}); });
    (void)signum;
  }
};

// One automation instance, as each window of the program holds one.
class RadioNode::Instance : public NodeInstance<RadioNode> {
 public:
  using NodeInstance::NodeInstance;

  void SetPTT(bool on) override {
    RadioNode& n = node();
    if (n.failPTT_) throw AutomationError("EchoLink did not answer SetPTT");
    n.log_.record({"ptt", on ? "on" : "off", false, ""});
    n.programSetPTT(on);
    if (n.onPTT) n.onPTT(on);
  }
  bool BusyStateA() override { return node().busyA(); }
  bool BusyStateB() override { return node().busyB(); }
  bool PTTState() override { return node().pttState(); }
  bool CarrierState() override { return node().gauges_.carrier.load(); }
  void PlayCW(std::int32_t, const std::string& text) override {
    RadioNode& n = node();
    n.log_.record({"cw", text, true, ""});
    if (n.onCW) n.onCW(text);
    n.command([&n, text] { n.loop_->transmit.sendMorse(text); });
  }
  std::unique_ptr<EchoLinkStation> LocalStation() override {
    return std::make_unique<CallsignStation>(node().callsign_);
  }
  void SendChatText(const std::string& text) override {
    RadioNode& n = node();
    n.log_.record({"chat", text, true, ""});
    n.command([&n, text] {
      if (NetworkPort* network = n.loop_->bridge.network()) network->sendChat(text);
    });
  }
};

RadioNode::RadioNode(Scheduler& program, OutputLog& log, RadioSettings settings) : program_(program), log_(log) {
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  configure(std::move(settings));
}

void RadioNode::configure(RadioSettings settings) {
  if (thread_.joinable()) return;
  settings_ = std::move(settings);
  if (!callsignSet_ && !settings_.callsign.empty()) callsign_ = settings_.callsign;
}

RadioNode::~RadioNode() {
  stop();
  *alive_ = false;
  for (EchoLinkApp* i : fanout_.instances()) static_cast<Instance*>(i)->detach();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool RadioNode::start(std::string& error, bool awaitAudio) {
  if (thread_.joinable()) return true;
  ::signal(SIGPIPE, SIG_IGN);       // a reader that went away (a pty, a pipe) never ends the program
  jack_set_error_function(silent);  // JACK's own complaints: the node reports what failed in its words
  jack_set_info_function(silent);
  std::unique_ptr<PttLine> ptt;
  if (settings_.ptt != "none") {
    ptt = openPttLine(settings_.ptt, error);
    if (!ptt) return error = std::string(kRadioSettingsFile) + ", Ptt=" + settings_.ptt + ": " + error, false;
  }
  std::unique_ptr<SquelchLine> squelch;
  if (settings_.squelch != "vox") {
    squelch = openSquelchLine(settings_.squelch, error);
    if (!squelch)  // the PTT line is released and closed
      return error = std::string(kRadioSettingsFile) + ", Squelch=" + settings_.squelch + ": " + error, false;
  }
  loop_ = std::make_unique<Loop>(*this, std::move(ptt), std::move(squelch));
  // What the program asked before the node ran (an announcement at load) never goes on the air late: the node starts
  // from the program's present request.
  {
    std::lock_guard lock(queueLock_);
    queue_.clear();
  }
  loop_->transmit.startRequested(requested_);
  {
    std::lock_guard lock(audioLock_);
    audioAwaited_ = awaitAudio;
    audioKnown_ = audioWaitOver_ = false;
    audioProblem_.clear();
  }
  std::promise<void> ended;
  threadEnded_ = ended.get_future();
  thread_ = std::thread([this, ended = std::move(ended)]() mutable {
    run();
    ended.set_value();
  });
  pthread_setname_np(thread_.native_handle(), "radio-node");  // so it can be told apart in top and /proc
  return true;
}

bool RadioNode::settleAudio(const std::string& problem) {
  std::lock_guard lock(audioLock_);
  if (audioKnown_) return false;
  audioKnown_ = true;
  audioProblem_ = problem;
  audioSettled_.notify_all();
  return audioAwaited_ && !audioWaitOver_;
}

std::optional<std::string> RadioNode::awaitAudio(std::chrono::milliseconds limit) {
  std::unique_lock lock(audioLock_);
  if (!audioAwaited_) return std::nullopt;
  audioSettled_.wait_for(lock, limit, [this] { return audioKnown_; });
  audioWaitOver_ = true;
  if (!audioKnown_ || audioProblem_.empty()) return std::nullopt;
  return audioProblem_;
}

void RadioNode::stop() {
  if (!thread_.joinable()) return;
  command([this] {
    Loop& l = *loop_;
    l.transmit.close();
    // The network logs off at the directory first (a few seconds at most).
    if (!l.bridge.network()) return l.app->quit();
    l.bridge.network()->shutdown([&l] {
      if (l.app) l.app->quit();
    });
  });
  // Every step is bounded, so that a frozen JACK server never holds the program's end: the thread logs off within a
  // few seconds, and what does not end in time is left to the process's end, with the transmitter released.
  if (threadEnded_.wait_for(kStopBound) != std::future_status::ready) {
    releaseAllPttLinesNow();
    std::cerr << "quillmere: the radio node's thread did not end in time; the transmitter is released\n";
    thread_.detach();
    (void)loop_.release();  // its thread may still use it
    return;
  }
  thread_.join();
  Loop& l = *loop_;
  const bool closed = l.jack.close();
  l.link.stopServer();
  l.transmit.closeLine();  // released as it goes
  l.receive.closeSquelch();
  if (!closed) (void)loop_.release();  // the abandoned JACK client may still call into it
}

void RadioNode::run() {
  // Keying and the carrier's drop must not wait behind the rest of a busy machine: real-time priority when this user
  // may have it (the audio group's rtprio on a JACK system), below JACK's own threads; otherwise the normal one.
  sched_param priority{};
  priority.sched_priority = 10;
  realTime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
  Async::CppApplication app;
  Loop& l = *loop_;
  l.app = &app;
  Async::FdWatch wake(wakeFd_, Async::FdWatch::FD_WATCH_RD);
  wake.activity.connect([this](Async::FdWatch*) {
    eventfd_t count;
    (void)::eventfd_read(wakeFd_, &count);
    std::vector<std::function<void()>> work;
    {
      std::lock_guard lock(queueLock_);
      work.swap(queue_);
    }
    for (auto& f : work) f();
    loop_->pace();
  });
  Async::FdWatch ports(l.jack.portsFd(), Async::FdWatch::FD_WATCH_RD);
  ports.activity.connect([this, &l](Async::FdWatch*) {
    l.transmit.followCall(callPeer);
    l.pace();
  });
  Async::FdWatch sound(l.jack.soundFd(), Async::FdWatch::FD_WATCH_RD);
  sound.activity.connect([&l](Async::FdWatch*) { l.heardSound(); });
  Async::FdWatch gone(l.jack.goneFd(), Async::FdWatch::FD_WATCH_RD);
  gone.activity.connect([&l](Async::FdWatch*) {
    eventfd_t count;
    (void)::eventfd_read(l.jack.goneFd(), &count);
    l.link.lost();
  });
  std::unique_ptr<Async::FdWatch> squelchWatch;
  if (l.receive.squelchFd() >= 0) {
    squelchWatch = std::make_unique<Async::FdWatch>(l.receive.squelchFd(), Async::FdWatch::FD_WATCH_RD);
    squelchWatch->activity.connect([&l, &squelchWatch](Async::FdWatch*) {
      l.receive.readSquelch();
      if (l.receive.squelchLost()) squelchWatch->setEnabled(false);
    });
    l.receive.readSquelch();
  }
  Async::Timer pump(static_cast<int>(kPump.count()), Async::Timer::TYPE_PERIODIC);
  pump.expired.connect([&l](Async::Timer*) { l.pump(); });
  l.pumpTimer = &pump;
  l.lastMoved = l.clock.now();
  if (catchSignals) {
    for (int s : {SIGTERM, SIGINT, SIGHUP}) app.catchUnixSignal(s);
    app.unixSignalCaught.connect([&l](int s) { l.closeNow(s); });
  }
  l.link.connect();
  l.bridge.make();
  app.exec();
  l.bridge.drop();
  if (catchSignals)
    for (int s : {SIGTERM, SIGINT, SIGHUP}) app.uncatchUnixSignal(s);
  l.pumpTimer = nullptr;
  l.app = nullptr;
}

void RadioNode::rebuildNetwork() {
  if (!thread_.joinable()) return;
  command([this] {
    if (!loop_->transmit.closing()) loop_->bridge.make();
  });
}

void RadioNode::command(std::function<void()> f) {
  {
    std::lock_guard lock(queueLock_);
    queue_.push_back(std::move(f));
  }
  (void)::eventfd_write(wakeFd_, 1);
}

void RadioNode::toProgram(std::function<void()> f) {
  program_.post([alive = alive_, f = std::move(f)] {
    if (*alive) f();
  });
}

void RadioNode::programSetPTT(bool on) {
  requested_ = on;
  command([this, on] { loop_->transmit.setRequested(on); });
}

void RadioNode::setTransmitInhibit(bool on) {
  command([this, on] { loop_->transmit.setInhibit(on); });
}

void RadioNode::disconnectAllStations() {
  command([this] {
    if (NetworkPort* network = loop_->bridge.network()) network->disconnectAll();
  });
}

std::string RadioNode::keyedBy() const {
  switch (gauges_.keyedBy.load()) {
    case KeyedBy::Speech:
      return "speech";
    case KeyedBy::Morse:
      return "morse";
    case KeyedBy::Station:
      return "station";
    case KeyedBy::Call:
      return "call";
    case KeyedBy::None:
      break;
  }
  return requested_ ? "speech" : "";
}

void RadioNode::disconnectStation(const std::string& call) {
  command([this, call] {
    if (NetworkPort* network = loop_->bridge.network()) network->disconnectStation(call);
  });
}

void RadioNode::setCallMuted(bool muted) {
  command([this, muted] { loop_->transmit.setCallMuted(muted); });
}

void RadioNode::setSpeechToCall(bool on) {
  command([this, on] { loop_->transmit.setSpeechToCall(on); });
}

void RadioNode::setCallHeld(bool held) {
  command([this, held] { loop_->transmit.setCallHeld(held); });
}

void RadioNode::transmitSpeech(const std::vector<std::int16_t>& samples, int sampleRate) {
  command([this, samples, sampleRate] { loop_->transmit.sendSpeech(samples, sampleRate); });
}

std::unique_ptr<EchoLinkApp> RadioNode::createApp() {
  return std::make_unique<Instance>(*this);
}

// Inputs injected on the program's thread (a real-time scenario, the console) are raised as if the radio had raised
// them; the carrier is published as the squelch would.
void RadioNode::noteInput(const NodeEvent& event) {
  if (auto* carrier = std::get_if<node_event::CarrierDetect>(&event)) gauges_.carrier = carrier->on;
}

}  // namespace qm::radio
