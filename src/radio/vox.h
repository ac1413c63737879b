#pragma once
// A voice-operated switch: audio louder than a threshold for `attack` turns it on; quieter for `hang` turns it off.
// Carrier detect from the receiver's audio (Squelch=vox) and the phone call's far end keying the transmitter both
// use it. The level is the RMS over blocks of 10 ms.
#include <cstddef>

namespace qm::radio {

struct VoxSettings {
  double thresholdDbfs = -40;
  int attackMs = 50;
  int hangMs = 800;
};

class Vox {
 public:
  Vox(int sampleRate, const VoxSettings& settings);
  // Feeds audio at the constructor's rate, -1..1; returns the state after it.
  bool feed(const float* samples, std::size_t count);
  bool on() const { return on_; }
  // The threshold as an amplitude: a block whose every sample is below it cannot turn the VOX on.
  float thresholdPeak() const;
  // The level of the last 10 ms block, dBFS (-120 for silence).
  double levelDbfs() const { return levelDbfs_; }

 private:
  int sampleRate_;
  VoxSettings settings_;
  double threshold_;  // the threshold as a mean square
  bool on_ = false;
  double levelDbfs_ = -120;
  double blockSquares_ = 0;
  std::size_t blockFill_ = 0;
  int loudMs_ = 0, quietMs_ = 0;
};

}  // namespace qm::radio
