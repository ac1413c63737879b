#include "radio/radio_node.h"

#include "echolink/event_fanout.h"

#include <AsyncCppApplication.h>
#include <AsyncFdWatch.h>
#include <AsyncTimer.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <iostream>
#include <optional>

#include "echolink/air_recording.h"
#include "platform/output_log.h"
#include "platform/scheduler.h"
#include "platform/transcript_words.h"
#include "radio/call_audio.h"
#include "radio/carrier_timeout.h"
#include "radio/dtmf_collector.h"
#include "radio/dtmf_decoder.h"
#include "radio/dtmf_mute.h"
#include "radio/jack_audio.h"
#include "radio/jack_server_process.h"
#include "radio/lines.h"
#include "radio/network_audio.h"
#include "radio/resampler.h"
#include "radio/transmitter.h"
#include "radio/tx_audio.h"
#include "radio/vox.h"

namespace qm::radio {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPump{20};            // how often the thread moves audio
constexpr milliseconds kTransmitAhead{100};  // transmit audio queued ahead of JACK, at most
constexpr int kLongestBackoffSeconds = 60;
constexpr milliseconds kAirGap{420};           // between transmissions in the air recording
constexpr int kNetworkRate = 8000;             // the network's audio
constexpr milliseconds kStationLead{100};      // a station's talk starts this far behind what is playing
constexpr double kStationDuckDb = -20;         // a station under the program's speech and Morse
constexpr milliseconds kStallAfter{1000};      // a server that has not called us for this long has frozen
constexpr std::chrono::seconds kStopBound{6};  // the node's thread ends within this (its network logs off in 3 s)

class Station : public EchoLinkStation {
 public:
  explicit Station(std::string call) : call_(std::move(call)) {}
  std::string Callsign() override { return call_; }

 private:
  std::string call_;
};

void silent(const char*) {}

}  // namespace

// Everything the node's thread owns.
struct RadioNode::Loop : NetworkHost {
  explicit Loop(RadioNode& n)
      : node(n),
        collector(std::chrono::seconds(n.settings_.dtmfTimeoutSeconds)),
        rxTimeout(std::chrono::seconds(n.settings_.rxLimitSeconds)),
        transmitter({milliseconds(n.settings_.txTailMs), std::chrono::seconds(n.settings_.txLimitSeconds)}) {}

  RadioNode& node;
  std::unique_ptr<PttLine> ptt;
  std::unique_ptr<SquelchLine> squelch;
  JackAudio jack;
  JackServerProcess server;
  std::unique_ptr<DtmfDecoder> decoder;
  std::unique_ptr<Vox> vox;
  std::unique_ptr<DtmfMute> dtmfMute;  // the receive audio that goes on (call, network), DTMF cut out
  std::unique_ptr<CallAudio> call;     // the phone call's audio
  bool callMuted = false;              // the program's "SET MUTE ON"
  bool speechToCall = false;           // the program's speech goes to the call too
  bool callHeld = false;               // a call from the telephone not on the air yet
  Clock::time_point programUntil{};    // when the program's audio queued at JACK has gone out
  std::vector<float> callScratch = std::vector<float>(4096);
  DtmfCollector collector;
  CarrierTimeout rxTimeout;  // RxLimit: a carrier held too long no longer counts
  Transmitter transmitter;
  Async::Application* app = nullptr;
  Async::Timer* retry = nullptr;

  bool requested = false;  // the program asks for the transmitter
  bool closing = false;    // the node is closing: it never keys again
  bool inhibit = false;    // the transmitter inhibit: nothing keys it until lifted
  std::deque<float> pending;
  std::vector<float> airPending;
  std::vector<float> scratch = std::vector<float>(4096);
  int backoffSeconds = 1;
  bool jackReported = false;  // a JACK problem was reported and not yet mended
  bool squelchLost = false;
  std::optional<Clock::time_point> serverWaitUntil;
  // JACK's process callback, watched: a server that stops calling it (frozen) moves no audio.
  std::uint64_t lastCycles = 0;
  Clock::time_point movedAt{};
  bool stalled = false;

  // The network of stations, when there is one.
  std::unique_ptr<NetworkPort> network;
  bool netRx = false;                          // a station talks: the transmitter is keyed for it
  bool morseQueued = false;                    // Morse was queued since the transmitter was last released
  bool radioBusy = false;                      // last told to the network
  std::unique_ptr<NetworkAudio> fromStations;  // a station's audio, mixed under the program's
  std::size_t pendingLead = 0;                 // samples at the front of `pending` that are TxDelay's silence
  std::unique_ptr<Resampler> toNetwork, fromNetwork;
  std::vector<float> converted;  // receive audio at the network's rate

  void problem(const std::string& text) {
    node.toProgram([n = &node, text] {
      if (n->onProblem) n->onProblem(text);
    });
  }

  // --- JACK ---------------------------------------------------------------------------------------------------
  void connectJack() {
    std::string why;
    if (jack.open("quillmere", why)) return jackUp();
    const std::string& command = node.settings_.jackServer;
    if (!command.empty()) {
      if (!server.running() && !serverWaitUntil) {
        std::string startError;
        if (server.start(command, startError)) {
          serverWaitUntil = Clock::now() + std::chrono::seconds(10);
          return retryIn(milliseconds(200));
        }
        return jackFailed("JACK: " + why + ", and JackServer could not be started: " + startError);
      }
      if (serverWaitUntil && server.running() && Clock::now() < *serverWaitUntil) return retryIn(milliseconds(200));
      std::string words = server.lastWords();
      serverWaitUntil.reset();
      server.stop();
      return jackFailed("JACK: " + why + "; the server started with JackServer \"" + command + "\" did not come up (" +
                        words + ")");
    }
    jackFailed("JACK: " + why + ", and JackServer in " + std::string(kRadioSettingsFile) +
               " is empty, so none is started");
  }

  void jackFailed(const std::string& text) {
    const std::string told = text +
                             "; the radio has no audio until it is reachable (trying again with back-off up to " +
                             std::to_string(kLongestBackoffSeconds) + " s)";
    if (!jackReported && !node.settleAudio(told)) problem(told);
    jackReported = true;
    retryIn(std::chrono::seconds(backoffSeconds));
    backoffSeconds = std::min(backoffSeconds * 2, kLongestBackoffSeconds);
  }

  void retryIn(milliseconds delay) {
    retry->setTimeout(static_cast<int>(delay.count()));
    retry->setEnable(true);
  }

  void jackUp() {
    serverWaitUntil.reset();
    lastCycles = jack.cycles();
    movedAt = Clock::now();
    stalled = false;
    backoffSeconds = 1;
    int rate = jack.sampleRate();
    node.jackRate_ = rate;
    const RadioSettings& s = node.settings_;
    DtmfSettings d{s.dtmfMinLevelDbfs, s.dtmfMaxTwistDb, s.dtmfMaxReverseTwistDb, s.dtmfMinToneMs, s.dtmfMinGapMs};
    decoder = std::make_unique<DtmfDecoder>(rate, d);
    decoder->onDigit = [this](char digit) { heardDigit(digit); };
    toNetwork = std::make_unique<Resampler>(rate, kNetworkRate);
    fromStations = std::make_unique<NetworkAudio>(rate, kStationDuckDb, kStationLead);
    fromNetwork = std::make_unique<Resampler>(kNetworkRate, rate);
    if (s.squelch == "vox")
      vox = std::make_unique<Vox>(rate, VoxSettings{s.voxThresholdDbfs, s.voxAttackMs, s.voxHangMs});
    dtmfMute = std::make_unique<DtmfMute>(*decoder, rate);
    call = std::make_unique<CallAudio>(
        rate,
        CallAudioSettings{s.callPtt == "call", VoxSettings{s.callVoxThresholdDbfs, s.callVoxAttackMs, s.callVoxHangMs},
                          s.callRxGainDb, s.callTxGainDb, s.callDuckDb});
    call->setMuted(callMuted);
    call->setHeld(callHeld);
    call->onCallerKey = [n = &node](char key) {
      n->toProgram([n, key] {
        if (n->onCallerKey) n->onCallerKey(key);
      });
    };
    followCall();
    std::string error;
    if (!jack.connectRadio(s.capturePort, s.playbackPort, error)) problem(error);
    node.settleAudio("");
    if (jackReported) problem("JACK: connected again (" + std::to_string(rate) + " Hz)");
    jackReported = false;
  }

  void jackGone() {
    if (!jack.isOpen()) return;
    jack.close();
    clearPending();
    if (call) call->setLinked(false);
    problem("JACK: the server went away; the radio has no audio until it is back (reconnecting)");
    jackReported = true;
    backoffSeconds = 1;
    // A keying whose audio has nowhere to go is dead air: let go at once, keyed again only once nothing asks.
    transmitter.cutOff();
    serviceTransmitter();
    retryIn(std::chrono::seconds(backoffSeconds));
    backoffSeconds = 2;
  }

  // --- receive ------------------------------------------------------------------------------------------------
  void receive() {
    if (!jack.isOpen()) return;
    double sum = 0;
    std::size_t total = 0;
    for (;;) {
      std::size_t n = jack.readReceive(scratch.data(), scratch.size());
      if (n == 0) break;
      if (vox) {
        bool was = vox->on();
        bool now = vox->feed(scratch.data(), n);
        if (now != was) carrierFromRadio(now);
      }
      for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(scratch[i]) * scratch[i];
      total += n;
      // The decoder hears everything; the call and the stations hear it DTMF-free, and only while the carrier is up.
      dtmfMute->process(scratch.data(), callScratch.data(), n);
      if (network && node.carrier_.load()) {
        converted.clear();
        toNetwork->process(callScratch.data(), n, converted);
        if (!converted.empty()) network->radioAudio(converted.data(), converted.size());
      }
      if (call->linked()) {
        call->fromRadio(callScratch.data(), callScratch.data(), n, node.carrier_.load());
        jack.writeCall(callScratch.data(), n);
      }
    }
    for (;;) {
      std::size_t n = jack.readCall(callScratch.data(), callScratch.size());
      if (n == 0) break;
      call->fromCall(callScratch.data(), n);
    }
    node.callRxLevel_ = call->receiveLevelDbfs();
    node.callTxLevel_ = call->transmitLevelDbfs();
    if (total > 0) {
      double rms = std::sqrt(sum / static_cast<double>(total));
      node.rxLevel_ = rms <= 1e-6 ? -120.0 : std::max(-120.0, 20 * std::log10(rms));
    }
  }

  void heardDigit(char digit) {
    if (rxTimeout.cut()) return;  // a receiver that sticks sends no commands
    collector.digit(digit, Clock::now());
    node.toProgram([n = &node, digit] {
      if (n->onDigit) n->onDigit(digit);
    });
  }

  // The carrier as the squelch line or the VOX sees it, on each change and at each turn of the loop; past RxLimit it
  // counts as gone until it drops.
  void carrierFromRadio(bool heard) {
    switch (rxTimeout.update(heard, Clock::now())) {
      case CarrierTimeout::Change::Cut:
        tell("the receiver's carrier has been held for RxLimit (" + std::to_string(node.settings_.rxLimitSeconds) +
             " s) and counts as gone: its audio no longer reaches the stations and the call until it drops");
        break;
      case CarrierTimeout::Change::Dropped:
        tell("the receiver's carrier held past RxLimit has dropped; the receiver counts again");
        break;
      case CarrierTimeout::Change::None:
        break;
    }
    passCarrier(rxTimeout.carrier());
  }

  // The problem line and the history log.
  void tell(const std::string& text) {
    problem(text);
    node.toProgram([n = &node, text] {
      if (n->onHistory) n->onHistory(text);
    });
  }

  void passCarrier(bool on) {
    if (on == node.carrier_.load() && on == collector.carrierUp()) return;
    // The last tones may still wait in the ring: they belong to this carrier.
    if (!on && !vox) receive();
    node.carrier_ = on;
    if (!on && network) network->radioAudioEnd();
    auto digits = collector.carrier(on, Clock::now());
    node.toProgram([n = &node, on] {
      if (n->echo) n->echo(std::string("carrier ") + (on ? "on" : "off"));
      n->raise(raised::CarrierDetect(on));
    });
    if (digits) raiseDigits(*digits);
  }

  void raiseDigits(const std::string& digits) {
    node.toProgram([n = &node, digits] {
      if (n->echo) n->echo("dtmf " + quote(digits));
      n->raise(raised::DTMFString(digits));
      // The program's codes are its own: the network's functions never take them.
      bool programCode = n->isProgramCode && n->isProgramCode(digits);
      n->command([n, digits, programCode] {
        if (n->loop_->network) n->loop_->network->dtmf(digits, programCode);
      });
    });
  }

  void readSquelch() {
    if (!squelch || squelchLost) return;
    std::string error;
    auto on = squelch->carrier(error);
    if (!on) {
      squelchLost = true;
      problem("squelch line " + node.settings_.squelch + ": " + error + "; the carrier counts as gone");
      carrierFromRadio(false);
      return;
    }
    carrierFromRadio(*on);
  }

  // --- the phone call ---------------------------------------------------------------------------------------
  // Follows baresip's ports as they come and go with each call; a call whose audio went (hung up, baresip died)
  // no longer holds the transmitter.
  void followCall() {
    if (!jack.isOpen() || !call) return;
    bool linked = jack.followCall(node.callPeer);
    if (linked == call->linked()) return;
    call->setLinked(linked);
    serviceTransmitter();
  }

  // --- transmit -----------------------------------------------------------------------------------------------
  void keyLine(bool on) {
    if (on == node.keyed_.load()) return;
    if (ptt) {
      std::string error;
      if (!ptt->key(on, error))
        problem("PTT line " + node.settings_.ptt + ": " + error + (on ? "" : " (the transmitter may still be keyed)"));
    }
    node.keyed_ = on;
    node.toProgram([] {});  // wakes the program, whose PTT display polls PTTState and rests while it stays
  }

  // True while the connected server has not called the process callback for a second (or four periods, when they are
  // longer): it has frozen (SIGSTOP, a hung driver) without going away.
  bool audioStalled() {
    if (!jack.isOpen()) return false;
    const auto now = Clock::now();
    if (const std::uint64_t cycles = jack.cycles(); cycles != lastCycles) {
      lastCycles = cycles;
      movedAt = now;
      if (stalled) problem("JACK: the server moves audio again");
      stalled = false;
      return false;
    }
    const auto periods = milliseconds(4000 * static_cast<long>(jack.period()) / std::max(1, jack.sampleRate()));
    if (!stalled && now - movedAt >= std::max<milliseconds>(kStallAfter, periods)) {
      stalled = true;
      problem(
          "JACK: the server has moved no audio for a second; the transmitter is released, and keys again only "
          "once nothing asks for it");
    }
    return stalled;
  }

  void serviceTransmitter() {
    if (!jack.isOpen()) clearPending();  // audio cannot go anywhere
    // A keying whose audio does not move is a bare carrier: let go, as for a server that has gone.
    if (audioStalled()) {
      clearPending();
      transmitter.cutOff();
    }
    bool callLinked = call && call->linked();
    // With a call linked, its audio keeps the ring filled: only the program's own audio counts as audio left.
    bool queuedAtJack = callLinked ? Clock::now() < programUntil : jack.isOpen() && jack.transmitQueued() > 0;
    bool audioLeft = !pending.empty() || (fromStations && fromStations->queued() > 0) || queuedAtJack;
    bool callWants = callLinked && call->wantsTransmitter();
    auto step = transmitter.update((requested || callWants || netRx) && !closing && !inhibit,
                                   audioLeft && !closing && !inhibit, Clock::now());
    if (step.keyedNow) {
      keyLine(true);
      // The radio settles for TxDelay before audio: silence up to that instant at radio_out.
      if (jack.isOpen()) {
        long frames = static_cast<long>(node.settings_.txDelayMs) * jack.sampleRate() / 1000 -
                      static_cast<long>(jack.framesUntilOutput());
        if (frames > 0) {
          pending.insert(pending.begin(), static_cast<std::size_t>(frames), 0.0f);
          pendingLead += static_cast<std::size_t>(frames);
          if (call) call->delay(static_cast<std::size_t>(frames));
          if (fromStations) fromStations->delay(static_cast<std::size_t>(frames));
        }
      }
    }
    if (call) call->setKeyed(step.keyed);
    if (step.limitReached) {
      if (node.air && jack.isOpen())
        airPending.insert(airPending.end(), kAirGap.count() * jack.sampleRate() / 1000, 0.0f);
      keyLine(false);
      clearPending();
      problem("the transmitter was keyed for TxLimit (" + std::to_string(node.settings_.txLimitSeconds) +
              " s) and has been released; it keys again once it is no longer asked for");
    }
    if (!step.keyed && node.keyed_.load()) {
      keyLine(false);
      // The air recording keeps transmissions apart by a word space, so a Morse decoder reads them as words.
      if (node.air && jack.isOpen())
        airPending.insert(airPending.end(), kAirGap.count() * jack.sampleRate() / 1000, 0.0f);
    }
    if (step.keyed) feedTransmit();
    publishKeyedBy(step.keyed, callWants);
  }

  // What keys the line, for those watching: the program's request (speech), a call's far end, a station, or else
  // the audio left over (Morse queued, or the tail of what keyed it last).
  void publishKeyedBy(bool keyed, bool callWants) {
    KeyedBy by = KeyedBy::None;
    if (keyed) {
      by = requested                      ? KeyedBy::Speech
           : callWants                    ? KeyedBy::Call
           : netRx                        ? KeyedBy::Station
           : morseQueued                  ? KeyedBy::Morse
           : lastKeyedBy != KeyedBy::None ? lastKeyedBy
                                          : KeyedBy::Morse;
      lastKeyedBy = by;
    } else {
      morseQueued = false;
      lastKeyedBy = KeyedBy::None;
    }
    node.keyedBy_.store(by);
  }
  KeyedBy lastKeyedBy = KeyedBy::None;

  void feedTransmit() {
    std::size_t callQueued = call ? call->queued() : 0;
    std::size_t stationQueued = fromStations ? fromStations->queued() : 0;
    if (!jack.isOpen() || (pending.empty() && callQueued == 0 && stationQueued == 0)) {
      node.txLevel_ = -120.0;
      return;
    }
    std::size_t ahead =
        static_cast<std::size_t>(kTransmitAhead.count()) * static_cast<std::size_t>(jack.sampleRate()) / 1000;
    std::size_t queued = jack.transmitQueued();
    if (queued >= ahead) return;
    std::size_t n = std::min(ahead - queued, std::max({pending.size(), callQueued, stationQueued}));
    n = std::min(n, scratch.size());
    std::size_t program = std::min(n, pending.size());
    std::copy_n(pending.begin(), program, scratch.begin());
    std::fill(scratch.begin() + static_cast<long>(program), scratch.begin() + static_cast<long>(n), 0.0f);
    // The program's speech and Morse first; a station and the call under them, ducked (TxDelay's silence is no
    // speech).
    const bool programTalks = requested || program > std::min(pendingLead, program);
    if (fromStations) fromStations->mixInto(scratch.data(), n, programTalks);
    if (call) call->mixInto(scratch.data(), n, programTalks);
    if (program > 0)
      programUntil = Clock::now() + milliseconds((queued + program + jack.framesUntilOutput()) * 1000 /
                                                 static_cast<std::size_t>(jack.sampleRate()));
    std::size_t put = jack.writeTransmit(scratch.data(), n);
    std::size_t taken = std::min(put, program);
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(taken));
    pendingLead -= std::min(pendingLead, taken);
    node.txLevel_ = levelDbfs(scratch.data(), put);
    if (node.air) airPending.insert(airPending.end(), scratch.begin(), scratch.begin() + static_cast<long>(put));
  }

  void flushAir() {
    if (airPending.empty()) return;
    std::vector<std::int16_t> pcm(airPending.size());
    for (std::size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(airPending[i], -1.0f, 1.0f) * 32767));
    airPending.clear();
    int rate = jack.sampleRate();
    node.toProgram([n = &node, pcm = std::move(pcm), rate] {
      if (n->air) n->air->append(pcm, rate);
    });
  }

  void clearPending() {
    pending.clear();
    pendingLead = 0;
    if (fromStations) fromStations->clear();
  }

  // --- the network of stations --------------------------------------------------------------------------------
  void makeNetwork() {
    dropNetwork();
    if (node.makeNetwork) network = node.makeNetwork(*this);
    if (network) networkStatus("on");  // until the directory says more
  }

  void dropNetwork() {
    if (network) networkStatus("");
    network.reset();
    // A station talking as the network goes: the program hears its receive end, and the transmitter is let go.
    if (netRx) {
      networkRx(false);
      networkEvent("rx off", raised::RX(false));
    }
    radioBusy = false;
  }

  // Its busy states published, and the radio's told to it.
  void serviceNetwork() {
    node.netBusyA_ = network && network->busyA();
    node.netBusyB_ = network && network->busyB();
    bool busy = node.carrier_.load() || node.keyed_.load();
    if (network && busy != radioBusy) network->radioBusy(busy);
    radioBusy = busy;
  }

  void networkEvent(const std::string& echo, std::function<void(EchoLinkEvents&)> raise) override {
    node.toProgram([n = &node, echo, raise = std::move(raise)] {
      if (n->echo) n->echo(echo);
      n->raise(raise);
    });
  }

  void networkRx(bool on) override {
    netRx = on;
    if (!on && fromStations) fromStations->end();
    serviceTransmitter();
  }

  // Mixed into what the transmitter sends under the program's speech and Morse.
  void networkAudio(const float* samples, std::size_t count) override {
    // Only while keyed for it: after TxLimit the station's audio is dropped, never heaped up.
    if (!jack.isOpen() || closing || !node.keyed_.load()) return;
    converted.clear();
    fromNetwork->process(samples, count, converted);
    fromStations->add(converted.data(), converted.size(), jack.transmitQueued());
    serviceTransmitter();
  }

  void networkProblem(const std::string& text) override { problem(text); }

  void networkStatus(const std::string& text) override {
    node.toProgram([n = &node, text] { n->networkStatus_ = text; });
  }

  void networkAnnounce(const std::string& text) override {
    node.toProgram([n = &node, text] {
      if (n->onAnnounce) n->onAnnounce(text);
    });
  }

  void pump() {
    if (node.onAlive) node.onAlive();
    receive();
    serviceNetwork();
    if (squelch && squelch->fd() < 0) readSquelch();
    if (rxTimeout.carrier()) carrierFromRadio(true);  // RxLimit runs out while nothing changes
    if (auto digits = collector.poll(Clock::now())) raiseDigits(*digits);
    server.drain();
    serviceTransmitter();
    flushAir();
  }

  void closeNow(int signum) {
    // The transmitter goes first; then the program hears of the closing and ends.
    closing = true;
    clearPending();
    serviceTransmitter();
    keyLine(false);
    if (node.onStopSignal) node.onStopSignal();
    node.toProgram([n = &node] {
      if (n->echo) n->echo("closing");
      n->raise(raised::Closing());
    });
    (void)signum;
  }
};

// One automation instance, as each window of the program holds one.
class RadioNode::Instance : public EchoLinkApp {
 public:
  explicit Instance(RadioNode& node) : node_(&node) { node.instances_.push_back(this); }
  ~Instance() override {
    if (node_) std::erase(node_->instances_, this);
  }
  void detach() { node_ = nullptr; }

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
  bool CarrierState() override { return node().carrier_.load(); }
  void PlayCW(std::int32_t, const std::string& text) override {
    RadioNode& n = node();
    n.log_.record({"cw", text, true, ""});
    if (n.onCW) n.onCW(text);
    n.command([&n, text] {
      Loop& l = *n.loop_;
      if (!l.jack.isOpen()) return l.problem("JACK is not connected: the Morse \"" + text + "\" was not sent");
      const RadioSettings& s = n.settings_;
      auto audio = renderCw(text, l.jack.sampleRate(), s.cwToneHz, s.cwSpeedWpm, s.cwLevelDbfs);
      l.pending.insert(l.pending.end(), audio.begin(), audio.end());
      l.morseQueued = true;
      l.serviceTransmitter();
    });
  }
  std::unique_ptr<EchoLinkStation> LocalStation() override { return std::make_unique<Station>(node().callsign_); }
  void SendChatText(const std::string& text) override {
    RadioNode& n = node();
    n.log_.record({"chat", text, true, ""});
    n.command([&n, text] {
      if (n.loop_->network) n.loop_->network->sendChat(text);
    });
  }

 private:
  RadioNode& node() {
    if (!node_) throw AutomationError("EchoLink is not running");
    return *node_;
  }
  RadioNode* node_;
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
  for (Instance* i : instances_) i->detach();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool RadioNode::start(std::string& error, bool awaitAudio) {
  if (thread_.joinable()) return true;
  ::signal(SIGPIPE, SIG_IGN);       // a reader that went away (a pty, a pipe) never ends the program
  jack_set_error_function(silent);  // JACK's own complaints: the node reports what failed in its words
  jack_set_info_function(silent);
  loop_ = std::make_unique<Loop>(*this);
  Loop& l = *loop_;
  if (settings_.ptt != "none") {
    l.ptt = openPttLine(settings_.ptt, error);
    if (!l.ptt) {
      loop_.reset();
      return error = std::string(kRadioSettingsFile) + ", Ptt=" + settings_.ptt + ": " + error, false;
    }
  }
  if (settings_.squelch != "vox") {
    l.squelch = openSquelchLine(settings_.squelch, error);
    if (!l.squelch) {
      loop_.reset();  // the PTT line is released and closed
      return error = std::string(kRadioSettingsFile) + ", Squelch=" + settings_.squelch + ": " + error, false;
    }
  }
  // What the program asked before the node ran (an announcement at load) never goes on the air late: the node starts
  // from the program's present request.
  {
    std::lock_guard lock(queueLock_);
    queue_.clear();
  }
  l.requested = requested_;
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
    l.closing = true;
    l.clearPending();
    l.serviceTransmitter();
    l.keyLine(false);
    // The network logs off at the directory first (a few seconds at most).
    if (!l.network) return l.app->quit();
    l.network->shutdown([&l] {
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
  l.server.stop();
  l.ptt.reset();  // released as it goes
  l.squelch.reset();
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
  Async::Timer retry(1000, Async::Timer::TYPE_ONESHOT, false);
  l.retry = &retry;
  retry.expired.connect([&l](Async::Timer*) {
    l.retry->setEnable(false);
    l.connectJack();
  });
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
  });
  Async::FdWatch ports(l.jack.portsFd(), Async::FdWatch::FD_WATCH_RD);
  ports.activity.connect([&l](Async::FdWatch*) { l.followCall(); });
  Async::FdWatch gone(l.jack.goneFd(), Async::FdWatch::FD_WATCH_RD);
  gone.activity.connect([&l](Async::FdWatch*) {
    eventfd_t count;
    (void)::eventfd_read(l.jack.goneFd(), &count);
    l.jackGone();
  });
  std::unique_ptr<Async::FdWatch> squelchWatch;
  if (l.squelch && l.squelch->fd() >= 0) {
    squelchWatch = std::make_unique<Async::FdWatch>(l.squelch->fd(), Async::FdWatch::FD_WATCH_RD);
    squelchWatch->activity.connect([&l, &squelchWatch](Async::FdWatch*) {
      l.readSquelch();
      if (l.squelchLost) squelchWatch->setEnabled(false);
    });
    l.readSquelch();
  }
  Async::Timer pump(static_cast<int>(kPump.count()), Async::Timer::TYPE_PERIODIC);
  pump.expired.connect([&l](Async::Timer*) { l.pump(); });
  if (catchSignals) {
    for (int s : {SIGTERM, SIGINT, SIGHUP}) app.catchUnixSignal(s);
    app.unixSignalCaught.connect([&l](int s) { l.closeNow(s); });
  }
  l.connectJack();
  l.makeNetwork();
  app.exec();
  l.dropNetwork();
  if (catchSignals)
    for (int s : {SIGTERM, SIGINT, SIGHUP}) app.uncatchUnixSignal(s);
  l.retry = nullptr;
  l.app = nullptr;
}

void RadioNode::rebuildNetwork() {
  if (!thread_.joinable()) return;
  command([this] {
    if (!loop_->closing) loop_->makeNetwork();
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
  command([this, on] {
    loop_->requested = on;
    loop_->serviceTransmitter();
  });
}

void RadioNode::setTransmitInhibit(bool on) {
  command([this, on] {
    Loop& l = *loop_;
    l.inhibit = on;
    if (on) l.clearPending();  // what was queued for the air is not sent later
    l.serviceTransmitter();
  });
}

void RadioNode::disconnectAllStations() {
  command([this] {
    if (loop_->network) loop_->network->disconnectAll();
  });
}

std::string RadioNode::keyedBy() const {
  switch (keyedBy_.load()) {
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
    if (loop_->network) loop_->network->disconnectStation(call);
  });
}

void RadioNode::setCallMuted(bool muted) {
  command([this, muted] {
    Loop& l = *loop_;
    l.callMuted = muted;
    if (l.call) l.call->setMuted(muted);
  });
}

void RadioNode::setSpeechToCall(bool on) {
  command([this, on] { loop_->speechToCall = on; });
}

void RadioNode::setCallHeld(bool held) {
  command([this, held] {
    Loop& l = *loop_;
    l.callHeld = held;
    if (l.call) l.call->setHeld(held);
    l.serviceTransmitter();
  });
}

void RadioNode::transmitSpeech(const std::vector<std::int16_t>& samples, int sampleRate) {
  command([this, samples, sampleRate] {
    Loop& l = *loop_;
    if (!l.jack.isOpen()) return;
    auto audio = prepareSpeech(samples, sampleRate, l.jack.sampleRate(), settings_.speechLevelDbfs);
    if (l.speechToCall && l.call) l.call->speak(audio);
    l.pending.insert(l.pending.end(), audio.begin(), audio.end());
    l.serviceTransmitter();
  });
}

std::unique_ptr<EchoLinkApp> RadioNode::createApp() {
  return std::make_unique<Instance>(*this);
}

template <typename F>
void RadioNode::raise(F&& f) {
  raiseOnEach(instances_, deaf_, std::forward<F>(f));
}

// Inputs injected on the program's thread (a real-time scenario, the console): raised as if the radio had raised
// them.
void RadioNode::dtmf(const std::string& digits) {
  raise(raised::DTMFString(digits));
}

void RadioNode::setCarrier(bool on) {
  carrier_ = on;
  raise(raised::CarrierDetect(on));
}

void RadioNode::setRx(bool on) {
  raise(raised::RX(on));
}

void RadioNode::connect(const std::string& call, const std::string& name, const std::string& addr) {
  raise(raised::connected(call, name, addr));
}

void RadioNode::disconnect(const std::string& call) {
  raise(raised::Disconnected(call));
}

void RadioNode::chat(const std::string& text) {
  raise(raised::ChatTextReceived(text));
}

void RadioNode::stationText(const std::string& text) {
  raise(raised::StationTextReceived(text));
}

void RadioNode::closing() {
  raise(raised::Closing());
}

}  // namespace qm::radio
