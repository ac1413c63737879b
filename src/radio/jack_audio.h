#pragma once
// The node's JACK client: ports radio_in and radio_out (the radio), call_in and call_out (the phone call). JACK's
// process callback only moves samples between the ports and lock-free ring buffers; everything else happens on the
// node's thread, which empties and fills the rings every few tens of milliseconds.
#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace qm::radio {

class JackAudio {
 public:
  JackAudio();
  ~JackAudio();
  JackAudio(const JackAudio&) = delete;
  JackAudio& operator=(const JackAudio&) = delete;

  // Connects to a running server (never starting one) as `clientName` and activates; false with `error`.
  bool open(const std::string& clientName, std::string& error);
  // Deactivates and closes the client; false when the server did not answer within two seconds (frozen): the client
  // is then abandoned, and this object must outlive the process's end (the process is ending).
  bool close();
  bool isOpen() const { return client_ != nullptr; }
  // A descriptor that becomes readable when the server went away (an eventfd); the node then closes and reconnects.
  int goneFd() const { return goneFd_; }

  int sampleRate() const { return rate_; }
  jack_nframes_t period() const { return period_; }
  // Connects `capture` to radio_in and radio_out to `playback` (either may be empty); false with `error` listing the
  // ports that exist.
  bool connectRadio(const std::string& capture, const std::string& playback, std::string& error);

  // Receive audio that arrived since the last call, up to `max` samples.
  std::size_t readReceive(float* out, std::size_t max);
  // Queues transmit audio; returns how many samples fitted.
  std::size_t writeTransmit(const float* samples, std::size_t count);
  // Transmit samples queued and not yet handed to JACK.
  std::size_t transmitQueued() const;
  // Frames from now until samples queued now (behind an empty queue) reach radio_out.
  jack_nframes_t framesUntilOutput() const;
  // The phone call's audio: what arrived on call_in, and what call_out is to send (as the radio's rings above).
  std::size_t readCall(float* out, std::size_t max);
  std::size_t writeCall(const float* samples, std::size_t count);
  // A descriptor that becomes readable when a port appeared or went (an eventfd): the node then follows the call.
  int portsFd() const { return portsFd_; }
  // Links the ports of the JACK clients named `peer` or `peer-NN` (baresip names each call's source and player
  // apart) to ours: their outputs to call_in, call_out to their inputs. True while a call's audio is linked.
  bool followCall(const std::string& peer);
  // How many times JACK has called the process callback: a count that stops means a server that no longer moves
  // audio (frozen, stopped) although it has not gone.
  std::uint64_t cycles() const { return cycles_.load(std::memory_order_relaxed); }

 private:
  static int process(jack_nframes_t frames, void* self);
  static void shutdown(void* self);
  static void portRegistered(jack_port_id_t port, int registered, void* self);
  static void portConnected(jack_port_id_t a, jack_port_id_t b, int connected, void* self);

  jack_client_t* client_ = nullptr;
  jack_port_t *radioIn_ = nullptr, *radioOut_ = nullptr, *callIn_ = nullptr, *callOut_ = nullptr;
  jack_ringbuffer_t* rx_ = nullptr;
  jack_ringbuffer_t* tx_ = nullptr;
  jack_ringbuffer_t* callRx_ = nullptr;
  jack_ringbuffer_t* callTx_ = nullptr;
  int portsFd_ = -1;
  int rate_ = 0;
  jack_nframes_t period_ = 0;
  int goneFd_ = -1;
  std::atomic<bool> gone_{false};
  bool abandoned_ = false;
  std::atomic<std::uint64_t> cycles_{0};
};

}  // namespace qm::radio
