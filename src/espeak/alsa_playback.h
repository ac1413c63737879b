#pragma once
// Plays 16-bit mono samples on an ALSA device ("default" unless told otherwise) and waits until they have been
// heard. The device is opened without blocking, so a busy or missing device fails at once instead of hanging; a
// playback never waits longer than the sound's own length plus two seconds.
#include <cstdint>
#include <string>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace qm {

class AlsaPlayback {
 public:
  explicit AlsaPlayback(std::string device = "default") : device_(std::move(device)) {}
  ~AlsaPlayback();
  AlsaPlayback(const AlsaPlayback&) = delete;
  AlsaPlayback& operator=(const AlsaPlayback&) = delete;

  // Plays the samples to the end, first dropping anything still in the device's buffer. Returns false (with the
  // reason in problem()) when there is no usable device; nothing is then played.
  bool play(const std::vector<std::int16_t>& samples, int sampleRate);
  const std::string& problem() const { return problem_; }

 private:
  bool open(int sampleRate);
  void close();

  std::string device_;
  snd_pcm_t* pcm_ = nullptr;
  int openRate_ = 0;
  std::string problem_;
};

}  // namespace qm
