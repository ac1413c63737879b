#pragma once
// The phone call's audio on the radio node: what goes between the radio and baresip's ports (quillmere:call_out,
// quillmere:call_in), and when the far end keys the transmitter. Pure and single-threaded: the node's pump hands it
// blocks of samples.
//   - radio -> call: the receive audio, DTMF already cut out, goes to the far end only while the carrier is present,
//     a call is linked and the path is not muted (the program's "SET MUTE ON");
//   - the program's speech that the far end must hear too (the warnings before the call's time limit) is mixed into
//     what it hears, carrier or not, muted or not;
//   - a held call's audio is listened to for DTMF keys (a phone that sends its keys as tones, not as RFC 4733
//     events, keying its PIN): each key once, to onCallerKey;
//   - call -> radio: the far end's audio, at CallRxGain, is queued for radio_out; it keys the transmitter while a VOX
//     on it is on, or for the whole call (CallPtt=call). Under the program's speech and Morse it is ducked by
//     CallDuck, never mixed at full level. While the transmitter is released only the last few milliseconds are
//     kept, so the first syllable that opens the VOX still goes out once the transmitter has settled.
// Connected EchoLink stations hear the receive audio only (radio_node.cpp), never the caller: a telephone party has
// called one station, not a worldwide network.
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "radio/dtmf_decoder.h"
#include "radio/tx_audio.h"
#include "radio/vox.h"

namespace qm::radio {

struct CallAudioSettings {
  bool keyForWholeCall = false;  // CallPtt=call
  VoxSettings vox{-45, 20, 1000};
  double rxGainDb = 0;  // far end -> radio_out
  double txGainDb = 0;  // radio_in -> far end
  double duckDb = -20;  // the call under the program's audio
};

class CallAudio {
 public:
  CallAudio(int sampleRate, const CallAudioSettings& settings);
  ~CallAudio();

  // A call's audio is connected (baresip's ports are linked to ours). Unlinking drops what was queued.
  void setLinked(bool linked);
  bool linked() const { return linked_; }
  void setMuted(bool muted) { muted_ = muted; }
  // A call from the telephone that is not on the air yet (ringing, its caller keying a PIN): neither way passes, and
  // the far end keys nothing (a ring tone or a caller's keys never reach the transmitter).
  void setHeld(bool held);
  bool held() const { return held_; }
  bool muted() const { return muted_; }

  // The radio's receive audio -> what the far end hears, `count` samples into `out` (silence unless it may pass).
  void fromRadio(const float* in, float* out, std::size_t count, bool carrier);
  // Speech at the node's rate for the far end as well as the air: mixed into what fromRadio gives next.
  void speak(const std::vector<float>& audio);
  // The far end's audio: feeds the VOX and is queued for the air; while held, only listened to for keys.
  void fromCall(const float* in, std::size_t count);
  // A key in a held call's audio, from inside fromCall.
  std::function<void(char key)> onCallerKey;

  // The far end asks for the transmitter: a call is linked and it talks (or the whole call keys it).
  bool wantsTransmitter() const { return linked_ && !held_ && (settings_.keyForWholeCall || vox_.on()); }
  // The transmitter's state, from the node: while released only the pre-roll is kept.
  void setKeyed(bool keyed);
  // Silence before the queued call audio (the transmitter settling after keying).
  void delay(std::size_t samples) { queue_.insert(queue_.begin(), samples, 0.0f); }
  std::size_t queued() const { return queue_.size(); }

  // Adds the queued call audio to the first `count` samples of `out` (which hold the program's audio or silence),
  // ducked while `programTalks`, and takes it from the queue. Returns how many call samples were used.
  std::size_t mixInto(float* out, std::size_t count, bool programTalks);

  // Levels of the last blocks, dBFS (-120 for silence): the far end as it arrives, and what is sent to it.
  double receiveLevelDbfs() const { return rxLevel_; }
  double transmitLevelDbfs() const { return txLevel_; }

 private:
  void trimToPreroll();
  void listenForKeys();

  int sampleRate_;
  CallAudioSettings settings_;
  Vox vox_;
  float rxGain_, txGain_;
  Duck duck_;
  std::unique_ptr<DtmfDecoder> keys_;  // while held
  std::size_t preroll_;
  bool linked_ = false, muted_ = false, keyed_ = false, held_ = false;
  std::deque<float> queue_;
  std::deque<float> speech_;  // for the far end
  double rxLevel_ = -120, txLevel_ = -120;
};

}  // namespace qm::radio
