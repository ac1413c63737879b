#pragma once
// The sound server as the node's parts see it: four ports (radio_in, radio_out, call_in, call_out) behind ring
// buffers, the server's rate and period, a count of its cycles and of the audio it lost. JackAudio is the real one;
// the parts' tests use a stand-in.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qm::radio {

// Audio lost since the client was made: each count is of periods (or blocks) cut short, not of samples.
struct AudioOverruns {
  std::uint64_t xruns = 0;                 // the server's own (a cycle it did not finish in time)
  std::uint64_t receiveOverruns = 0;       // radio_in's ring was full: a period of receive audio dropped
  std::uint64_t transmitUnderruns = 0;     // radio_out ran dry while speech or Morse still waited to go out
  std::uint64_t callReceiveOverruns = 0;   // call_in's ring was full: a period of the far end dropped
  std::uint64_t callTransmitOverruns = 0;  // call_out's ring was full: a block for the far end dropped
  AudioOverruns operator-(const AudioOverruns& o) const {
    return {xruns - o.xruns, receiveOverruns - o.receiveOverruns, transmitUnderruns - o.transmitUnderruns,
            callReceiveOverruns - o.callReceiveOverruns, callTransmitOverruns - o.callTransmitOverruns};
  }
  bool any() const {
    return xruns || receiveOverruns || transmitUnderruns || callReceiveOverruns || callTransmitOverruns;
  }
};

class AudioPort {
 public:
  virtual ~AudioPort() = default;

  // Connects to a running server (never starting one) as `clientName`; false with `error`.
  virtual bool open(const std::string& clientName, std::string& error) = 0;
  // False when the server did not answer (frozen): the client is then abandoned.
  virtual bool close() = 0;
  virtual bool isOpen() const = 0;
  virtual int sampleRate() const = 0;
  virtual std::uint32_t period() const = 0;
  // How many cycles the server has run: a count that stops means a server that no longer moves audio.
  virtual std::uint64_t cycles() const = 0;
  // Connects `capture` to radio_in and radio_out to `playback` (either may be empty); false with `error`.
  virtual bool connectRadio(const std::string& capture, const std::string& playback, std::string& error) = 0;

  virtual std::size_t readReceive(float* out, std::size_t max) = 0;
  // Returns how many samples fitted.
  virtual std::size_t writeTransmit(const float* samples, std::size_t count) = 0;
  virtual std::size_t transmitQueued() const = 0;
  // Frames from now until samples queued now (behind an empty queue) reach radio_out.
  virtual std::uint32_t framesUntilOutput() const = 0;
  // Whether speech or Morse waits behind what is queued: radio_out running dry meanwhile is an underrun.
  virtual void setTransmitBacklog(bool waiting) = 0;
  virtual std::size_t readCall(float* out, std::size_t max) = 0;
  virtual std::size_t writeCall(const float* samples, std::size_t count) = 0;
  // Links the ports of the clients named `peer` or `peer-NN` to the call's; true while a call's audio is linked.
  virtual bool followCall(const std::string& peer) = 0;

  virtual AudioOverruns overruns() const = 0;
};

}  // namespace qm::radio
