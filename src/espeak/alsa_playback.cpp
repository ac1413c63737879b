#include "espeak/alsa_playback.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <thread>

namespace qm {

namespace {
// ALSA writes its own complaints to standard error; the caller reports problems its own way.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

AlsaPlayback::~AlsaPlayback() {
  close();
}

void AlsaPlayback::close() {
  if (pcm_) snd_pcm_close(pcm_);
  pcm_ = nullptr;
  openRate_ = 0;
}

bool AlsaPlayback::open(int sampleRate) {
  if (pcm_ && openRate_ == sampleRate) return true;
  close();
  snd_lib_error_set_handler(quietAlsa);
  int err = snd_pcm_open(&pcm_, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (err < 0) {
    pcm_ = nullptr;
    problem_ = "no sound device \"" + device_ + "\": " + snd_strerror(err);
    return false;
  }
  err = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                           static_cast<unsigned>(sampleRate), 1, 200000);
  if (err < 0) {
    problem_ = "the sound device \"" + device_ + "\" cannot play " + std::to_string(sampleRate) +
               " Hz mono: " + snd_strerror(err);
    close();
    return false;
  }
  openRate_ = sampleRate;
  return true;
}

bool AlsaPlayback::play(const std::vector<std::int16_t>& samples, int sampleRate) {
  if (!open(sampleRate)) return false;
  using Clock = std::chrono::steady_clock;
  auto length = std::chrono::milliseconds(static_cast<long long>(samples.size()) * 1000 / sampleRate);
  auto deadline = Clock::now() + length + std::chrono::seconds(2);

  snd_pcm_drop(pcm_);  // whatever an earlier utterance left is discarded
  snd_pcm_prepare(pcm_);
  std::size_t done = 0;
  while (done < samples.size() && Clock::now() < deadline) {
    snd_pcm_sframes_t n = snd_pcm_writei(pcm_, samples.data() + done, samples.size() - done);
    if (n == -EAGAIN) {
      snd_pcm_wait(pcm_, 50);
    } else if (n < 0) {
      if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) {
        problem_ = std::string("the sound device failed: ") + snd_strerror(static_cast<int>(n));
        close();
        return false;
      }
    } else {
      done += static_cast<std::size_t>(n);
    }
  }
  // Wait until the buffer has been heard: the utterance is synchronous.
  while (Clock::now() < deadline) {
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0 || delay <= 0) break;
    auto wait = std::chrono::milliseconds(static_cast<long long>(delay) * 1000 / sampleRate);
    std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(wait, std::chrono::milliseconds(20)) +
                                std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace qm
