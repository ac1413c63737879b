#pragma once
// A station's audio on its way to radio_out (the network's audio, already at JACK's rate), kept apart from the
// program's speech and Morse until the two are mixed block by block:
//   - under the program's audio it is ducked, as the call is, never summed at full level (the courtesy letter over a
//     station that talks on);
//   - each talk starts behind a lead of silence: packets arrive in bursts (80 ms each) with the network's jitter, and
//     without a lead the first late one leaves a hole. A talk that keys the transmitter has TxDelay's silence as its
//     lead; one that follows another station (or the courtesy letter) on a transmitter still keyed gets its own.
// Single-threaded: the node's thread owns it.
#include <chrono>
#include <cstddef>
#include <deque>

#include "radio/tx_audio.h"

namespace qm::radio {

class NetworkAudio {
 public:
  NetworkAudio(int sampleRate, double duckDb, std::chrono::milliseconds lead);

  // A station's samples. `ahead` is how much audio is already queued ahead of what is added now (at the sound
  // server, not yet played): at a talk's start the lead is made up to at least `lead` with silence.
  void add(const float* samples, std::size_t count, std::size_t ahead);
  // The station stopped talking: the next audio starts a new talk.
  void end() { talking_ = false; }
  // Silence before what is queued: the transmitter settling after keying.
  void delay(std::size_t samples);
  void clear();
  std::size_t queued() const { return queue_.size(); }

  // Adds the queued audio to the first `count` samples of `out` (which hold the program's audio or silence), ducked
  // while `programTalks`, and takes it from the queue. Returns how many samples were used.
  std::size_t mixInto(float* out, std::size_t count, bool programTalks);

 private:
  Duck duck_;
  std::size_t lead_;
  bool talking_ = false;
  std::deque<float> queue_;
};

}  // namespace qm::radio
