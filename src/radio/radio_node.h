#pragma once
// The radio node (--node radio): this machine's own radio interface, in the place the EchoLink application held on
// Windows. It runs beside the program on a thread of its own with SvxLink's Async event loop (so that libecholib can
// run there too):
//   - receive: quillmere:radio_in through JACK -> the DTMF decoder, the VOX (Squelch=vox) and a level meter; the
//     carrier from the squelch line or the VOX;
//   - transmit: the PTT line, keyed at once on SetPTT; speech and Morse go to quillmere:radio_out after TxDelay; the
//     line stays keyed TxTail after the last audio; TxLimit is enforced here, whatever asks;
//   - the phone call (call_audio.h): baresip's ports, followed as they come and go, linked to call_in and call_out;
//     the receive audio goes to the call while the carrier is present, the far end's audio to radio_out, keying the
//     transmitter while the far end talks.
// Each of these is a part of the node's loop in a file of its own (jack_link.h, receive_path.h, transmit_path.h,
// network_bridge.h); the loop is the thread, the command queue and the order in which the parts are serviced.
// The program's calls reach the thread as queued commands (an eventfd wakes the loop); the node's events reach the
// program through its Scheduler's post, raised on every instance in creation order; CarrierState and PTTState are
// snapshots the thread publishes. A hold on the program's thread (speech) never stalls audio, decoding or the line.
//
// The scenario language's node inputs (dtmf, carrier, ...) act on this node too: they are injected on the program's
// thread as if the radio had raised them.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "echolink/injectable_node.h"
#include "radio/network_port.h"
#include "radio/node_gauges.h"
#include "radio/radio_settings.h"

namespace qm {
class Scheduler;
class OutputLog;
class AirRecording;
}  // namespace qm

namespace qm::radio {

class RadioNode : public InjectableNode {
 public:
  RadioNode(Scheduler& program, OutputLog& log, RadioSettings settings);
  ~RadioNode() override;  // stops the node: the transmitter is released

  // New settings, before start. The settings' Callsign is taken unless a callsign was set (--callsign, a scenario).
  void configure(RadioSettings settings);

  // Opens the lines (the transmitter released) and starts the node's thread, which then connects to JACK, starting
  // JackServer when no server runs. False, with `error` naming the line, what failed and what exists, when a line
  // cannot be opened. JACK trouble is reported through onProblem and retried with back-off.
  // With `awaitAudio` set, the outcome of the first JACK attempt is kept for awaitAudio instead of told through
  // onProblem, so the start can tell it before anything goes on the air.
  bool start(std::string& error, bool awaitAudio = false);
  // After start(error, true): waits until the first JACK attempt has an outcome, at most `limit`. Its trouble when the
  // node has no audio; nothing when JACK is connected (or the wait ran out, whatever comes later being told).
  std::optional<std::string> awaitAudio(std::chrono::milliseconds limit);
  // Releases the transmitter, ends the thread, the JACK client and any server it started.
  void stop();
  bool running() const { return thread_.joinable(); }

  // Told on the program's thread. Set before start.
  std::function<void(const std::string& problem)> onProblem;
  // A line for the history log (the receiver's time-out).
  std::function<void(const std::string& line)> onHistory;
  // A key the caller of a held call sent as a tone in the call's audio (call_audio.h), on the program's thread.
  std::function<void(char key)> onCallerKey;
  std::function<void(char digit)> onDigit;  // each digit as it is decoded (the live view)
  AirRecording* air = nullptr;              // what goes out on radio_out is appended here
  // SIGTERM, SIGINT and SIGHUP are caught on the node's thread: the transmitter is released at once and Closing is
  // raised, so the program ends as on EchoLink's closing. Off when the program watches the signals itself.
  bool catchSignals = true;
  // Told on the node's thread when it has caught such a signal, before Closing is raised (the program's thread may be
  // holding: it lets go at once).
  std::function<void()> onStopSignal;
  // The network of stations (EchoLink), made on the node's thread at start; unset: the radio alone.
  NetworkFactory makeNetwork;
  // The program's own DTMF codes, asked on the program's thread when a string is heard (never a node command then).
  std::function<bool(const std::string& digits)> isProgramCode;
  // What the network's own functions answer, spoken with the program's voice and keying.
  std::function<void(const std::string& text)> onAnnounce;
  // The network made anew (its settings saved), from the program's thread.
  void rebuildNetwork();

  // The program's hold on the transmitter let go, after a handler failed half-way (it may have keyed and never
  // reached its release). The program's thread.
  void releaseAfterFault() {
    if (requested_) programSetPTT(false);
  }

  // Called on the node's thread at each turn of its loop (every 20 ms): the service's watchdog learns that the thread
  // runs. Set before start.
  std::function<void()> onAlive;

  // The JACK client name of the phone call's audio (baresip's jack_client_name); set before start.
  std::string callPeer = "quillmere-call";
  // The program's "SET MUTE ON|OFF": the radio-to-call path stops and restarts. Any thread.
  void setCallMuted(bool muted);
  // A call from the telephone is held off the air (call_audio.h) or put on it. Any thread.
  void setCallHeld(bool held);

  // Speech for the transmitter, from the program's thread: queued at SpeechLevel and sent after TxDelay.
  void transmitSpeech(const std::vector<std::int16_t>& samples, int sampleRate);
  // While on, that speech also goes to the phone call's far end (queued in order with the speech). Any thread.
  void setSpeechToCall(bool on);

  // Live state, readable from any thread.
  double receiveLevelDbfs() const { return gauges_.rxLevel.load(); }
  double transmitLevelDbfs() const { return gauges_.txLevel.load(); }
  bool lineKeyed() const { return gauges_.keyed.load(); }
  // The JACK server's rate once connected, else 0.
  int jackSampleRate() const { return gauges_.jackRate.load(); }
  // The phone call's levels: the far end as it arrives, and what it is sent.
  double callReceiveLevelDbfs() const { return gauges_.callRxLevel.load(); }
  double callTransmitLevelDbfs() const { return gauges_.callTxLevel.load(); }
  // Audio lost since the node was made (xruns, rings full or run dry).
  AudioOverruns audioOverruns() const { return gauges_.overruns(); }
  const RadioSettings& settings() const { return settings_; }
  // Where the node stands on its network ("directory: online"); empty without one. The program's thread.
  const std::string& networkStatus() const { return networkStatus_; }
  // True when the node's thread runs at real-time priority (see run).
  bool realTime() const { return realTime_.load(); }

  std::unique_ptr<EchoLinkApp> createApp() override;

  const std::string& callsign() const override { return callsign_; }
  void setCallsign(std::string c) override {
    callsign_ = std::move(c);
    callsignSet_ = true;
  }
  bool carrier() const override { return gauges_.carrier.load(); }
  bool rx() const override { return false; }
  bool pttState() const override { return requested_ || gauges_.keyed.load(); }
  std::string keyedBy() const override;
  bool busyA() const override { return busyA_ || gauges_.netBusyA.load(); }
  bool busyB() const override { return busyB_ || gauges_.netBusyB.load(); }

  void setBusyA(bool on) override { busyA_ = on; }
  void setBusyB(bool on) override { busyB_ = on; }
  void setTransmitInhibit(bool on) override;
  // Every station connected over the network is let go (from the program's thread).
  void disconnectAllStations();
  // One station of the network let go, by its callsign. Any thread.
  void disconnectStation(const std::string& call);
  void setFailPTT(bool on) override { failPTT_ = on; }

  class Instance;
  struct Loop;

 private:
  friend class Instance;
  friend struct Loop;
  void noteInput(const NodeEvent& event) override;
  // Runs `f` on the program's thread, unless the node has gone by then.
  void toProgram(std::function<void()> f);
  // Runs `f` on the node's thread.
  void command(std::function<void()> f);
  void programSetPTT(bool on);
  void run();
  // The node's thread: the first JACK attempt's outcome (empty: connected). True when awaitAudio takes the trouble.
  bool settleAudio(const std::string& problem);

  Scheduler& program_;
  OutputLog& log_;
  RadioSettings settings_;
  std::string callsign_ = "N0CALL-L";
  bool callsignSet_ = false;

  // The program's thread only.
  std::string networkStatus_;
  bool requested_ = false;
  bool busyA_ = false, busyB_ = false, failPTT_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  // Published by the node's thread.
  NodeGauges gauges_;
  std::atomic<bool> realTime_{false};

  // The command queue: filled on the program's thread, emptied on the node's.
  std::mutex queueLock_;
  std::vector<std::function<void()>> queue_;
  int wakeFd_ = -1;

  // The first JACK attempt's outcome, handed from the node's thread to the start that waits for it.
  std::mutex audioLock_;
  std::condition_variable audioSettled_;
  bool audioAwaited_ = false, audioKnown_ = false, audioWaitOver_ = false;
  std::string audioProblem_;

  std::unique_ptr<Loop> loop_;  // the node thread's state
  std::thread thread_;
  std::future<void> threadEnded_;  // ready once run() has returned
};

}  // namespace qm::radio
