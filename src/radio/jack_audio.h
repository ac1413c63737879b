#pragma once
// The node's JACK client: ports radio_in and radio_out (the radio), call_in and call_out (the phone call). JACK's
// process callback only moves samples between the ports and lock-free ring buffers; everything else happens on the
// node's thread, which empties and fills the rings every few tens of milliseconds. Audio lost on the way (the server's
// xruns, a ring full or run dry) is counted with atomics for the node to report.
#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "radio/audio_port.h"

namespace qm::radio {

class JackAudio final : public AudioPort {
 public:
  JackAudio();
  ~JackAudio() override;
  JackAudio(const JackAudio&) = delete;
  JackAudio& operator=(const JackAudio&) = delete;

  bool open(const std::string& clientName, std::string& error) override;
  // Deactivates and closes the client; false when the server did not answer within two seconds (frozen): the client
  // is then abandoned, and this object must outlive the process's end (the process is ending).
  bool close() override;
  bool isOpen() const override { return client_ != nullptr; }
  // A descriptor that becomes readable when the server went away (an eventfd); the node then closes and reconnects.
  int goneFd() const { return goneFd_; }
  // A descriptor that becomes readable when a port appeared or went (an eventfd): the node then follows the call.
  int portsFd() const { return portsFd_; }
  // A resting node sleeps until radio_in brings a sample at `peak` or louder: the first period that does makes
  // soundFd() readable, once. A negative `peak` stops listening.
  void wakeOnSound(float peak) { wakePeak_.store(peak, std::memory_order_relaxed); }
  int soundFd() const { return soundFd_; }
  // The longest the node may leave radio_in's ring unread: half of what it holds (a second or more once open).
  std::chrono::milliseconds ringTime() const;

  int sampleRate() const override { return rate_; }
  std::uint32_t period() const override { return period_; }
  std::uint64_t cycles() const override { return cycles_.load(std::memory_order_relaxed); }
  bool connectRadio(const std::string& capture, const std::string& playback, std::string& error) override;

  std::size_t readReceive(float* out, std::size_t max) override { return readRing(rx_, out, max); }
  std::size_t writeTransmit(const float* samples, std::size_t count) override { return writeRing(tx_, samples, count); }
  std::size_t transmitQueued() const override;
  std::uint32_t framesUntilOutput() const override;
  void setTransmitBacklog(bool waiting) override { backlog_.store(waiting, std::memory_order_relaxed); }
  std::size_t readCall(float* out, std::size_t max) override { return readRing(callRx_, out, max); }
  std::size_t writeCall(const float* samples, std::size_t count) override;
  // baresip names each call's source and player apart: both are linked, their outputs to call_in, call_out to their
  // inputs.
  bool followCall(const std::string& peer) override;
  AudioOverruns overruns() const override;

 private:
  static int process(jack_nframes_t frames, void* self);
  static void shutdown(void* self);
  static void portRegistered(jack_port_id_t port, int registered, void* self);
  static void portConnected(jack_port_id_t a, jack_port_id_t b, int connected, void* self);
  static int xrun(void* self);
  static int bufferSize(jack_nframes_t frames, void* self);
  static std::size_t readRing(jack_ringbuffer_t* ring, float* out, std::size_t max);
  static std::size_t writeRing(jack_ringbuffer_t* ring, const float* samples, std::size_t count);
  // One period between a port and its ring, in the process callback; false when the ring had no room or too little.
  // `silent` says the output port's buffer holds silence already.
  static bool toRing(jack_ringbuffer_t* ring, const void* in, jack_nframes_t frames);
  static bool fromRing(jack_ringbuffer_t* ring, jack_port_t* port, jack_nframes_t frames, bool& silent);

  jack_client_t* client_ = nullptr;
  jack_port_t *radioIn_ = nullptr, *radioOut_ = nullptr, *callIn_ = nullptr, *callOut_ = nullptr;
  jack_ringbuffer_t* rx_ = nullptr;
  jack_ringbuffer_t* tx_ = nullptr;
  jack_ringbuffer_t* callRx_ = nullptr;
  jack_ringbuffer_t* callTx_ = nullptr;
  int portsFd_ = -1;
  int soundFd_ = -1;
  std::atomic<float> wakePeak_{-1.0f};
  int rate_ = 0;
  jack_nframes_t period_ = 0;
  int goneFd_ = -1;
  std::atomic<bool> gone_{false};
  bool abandoned_ = false;
  std::atomic<std::uint64_t> cycles_{0};
  std::atomic<bool> backlog_{false};
  std::atomic<bool> callLinked_{false};                  // something feeds call_in
  std::atomic<bool> resized_{false};                     // the server's period changed: the port buffers are new
  bool radioOutSilent_ = false, callOutSilent_ = false;  // the process callback's own
  std::atomic<std::uint64_t> xruns_{0}, rxOverruns_{0}, txUnderruns_{0}, callRxOverruns_{0}, callTxOverruns_{0};
};

}  // namespace qm::radio
