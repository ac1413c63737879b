#pragma once
// What the node sends: the transmitter (the PTT line, TxDelay, TxTail, TxLimit) and radio_out, where the program's
// speech and Morse go with a station's talk and the call's far end ducked under them; call_out, where the far end
// hears the receive audio; and the air recording of what went out. The transmitter keys while the program asks, the
// call's far end talks, a station talks or audio is left, never while closing or inhibited, and lets go at once when
// the audio has nowhere to go (the server gone or frozen). Single-threaded: the node's thread drives it.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "radio/call_audio.h"
#include "radio/lines.h"
#include "radio/monotonic_clock.h"
#include "radio/network_audio.h"
#include "radio/node_gauges.h"
#include "radio/radio_settings.h"
#include "radio/transmitter.h"

namespace qm::radio {

class AudioPort;
class JackLink;

class TransmitPath {
 public:
  // `ptt` is the opened line, or null (Ptt=none).
  TransmitPath(AudioPort& port, JackLink& link, const MonotonicClock& clock, const RadioSettings& settings,
               NodeGauges& gauges, std::unique_ptr<PttLine> ptt);

  std::function<void(const std::string& text)> onProblem;
  // The line was keyed or released (gauges.keyed holds it).
  std::function<void()> onLineChanged;
  // A key the caller of a held call sent as a tone in the call's audio.
  std::function<void(char key)> onCallerKey;
  // What went out on radio_out, 16-bit at the server's rate; unset: no air recording.
  std::function<void(std::vector<std::int16_t> pcm, int rate)> onAir;

  // The server's rate is known (again): the call's and the stations' audio are made for it.
  void start(int rate);
  // The server went away: what was queued is dropped, the call unlinked and the transmitter let go until nothing asks.
  void audioGone();

  // Who asks for the transmitter.
  void setRequested(bool on);  // the program's SetPTT
  // The program's request as the node starts, acted on at the first turn of the loop.
  void startRequested(bool on) { requested_ = on; }
  void setInhibit(bool on);  // the transmitter inhibit: nothing keys it, what was queued is dropped
  void setStationTalks(bool on);
  // The node is closing: released now, never keyed again.
  void close();
  bool closing() const { return closing_; }
  // Something here wants the loop's quick turn: the line keyed or asked for, audio waiting for the air, a call
  // linked (its audio flows both ways all the time).
  bool moving() const;

  // Audio for the air, queued behind what waits.
  void sendMorse(const std::string& text);
  void sendSpeech(const std::vector<std::int16_t>& samples, int sampleRate);
  // A station's talk at the server's rate, mixed under the program's audio; only while keyed for it (after TxLimit
  // it is dropped, never heaped up).
  bool takesStationAudio() const;
  void stationAudio(const float* samples, std::size_t count);

  // The phone call.
  void setCallMuted(bool muted);
  void setCallHeld(bool held);
  void setSpeechToCall(bool on) { speechToCall_ = on; }
  // Follows the call's ports as they come and go: a call whose audio went no longer holds the transmitter.
  void followCall(const std::string& peer);
  // Receive audio (DTMF cut out) for the far end.
  void callHears(const float* samples, std::size_t count, bool carrier);
  // Takes what call_in has received since.
  void fromCall();

  // Keys or releases as the requests, the audio and the clock say, and feeds radio_out. After every change and at
  // each turn of the loop.
  void service();
  // Hands what went out since to the air recording.
  void flushAir();
  // The PTT line closed (released as it goes).
  void closeLine() { ptt_.reset(); }

 private:
  void keyLine(bool on);
  void clearPending();
  void feed();
  void publishKeyedBy(bool keyed, bool callWants);
  void airGap();

  AudioPort& port_;
  JackLink& link_;
  const MonotonicClock& clock_;
  const RadioSettings& settings_;
  NodeGauges& gauges_;
  std::unique_ptr<PttLine> ptt_;
  Transmitter transmitter_;

  bool requested_ = false;     // the program asks for the transmitter
  bool closing_ = false;       // the node is closing: it never keys again
  bool inhibit_ = false;       // nothing keys it until lifted
  bool stationTalks_ = false;  // a station talks: the transmitter is keyed for it
  bool morseQueued_ = false;   // Morse was queued since the transmitter was last released
  bool toldDropped_ = false;   // audio dropped during this hold was told
  KeyedBy lastKeyedBy_ = KeyedBy::None;

  std::deque<float> pending_;                  // the program's speech and Morse
  std::size_t pendingLead_ = 0;                // samples at the front of `pending_` that are TxDelay's silence
  MonotonicClock::time_point programUntil_{};  // when the program's audio queued at the server has gone out
  std::unique_ptr<NetworkAudio> fromStations_;
  std::unique_ptr<CallAudio> call_;
  bool callMuted_ = false;     // the program's "SET MUTE ON"
  bool callHeld_ = false;      // a call from the telephone not on the air yet
  bool speechToCall_ = false;  // the program's speech goes to the call too
  std::vector<float> airPending_;
  std::vector<float> scratch_ = std::vector<float>(4096), callScratch_ = std::vector<float>(4096);
};

}  // namespace qm::radio
