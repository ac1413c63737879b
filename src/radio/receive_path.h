#pragma once
// What the node hears: radio_in's audio and the squelch line. The audio is measured, feeds the VOX (Squelch=vox) and
// the DTMF decoder, and goes on with its DTMF cut out; the carrier (the squelch line's or the VOX's) counts until
// RxLimit; the digits heard under it become the strings the program gets. Single-threaded: the node's thread drives
// it, and it tells what it heard through the callbacks below.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "radio/carrier_timeout.h"
#include "radio/dtmf_collector.h"
#include "radio/dtmf_decoder.h"
#include "radio/dtmf_mute.h"
#include "radio/lines.h"
#include "radio/monotonic_clock.h"
#include "radio/node_gauges.h"
#include "radio/radio_settings.h"
#include "radio/vox.h"

namespace qm::radio {

class AudioPort;

class ReceivePath {
 public:
  // `squelch` is the opened line, or null for the VOX.
  ReceivePath(AudioPort& port, const MonotonicClock& clock, const RadioSettings& settings, NodeGauges& gauges,
              std::unique_ptr<SquelchLine> squelch);

  // The carrier that counts changed (gauges.carrier already holds it).
  std::function<void(bool on)> onCarrier;
  // A DTMF string for the program, and each digit as it is decoded.
  std::function<void(const std::string& digits)> onDigits;
  std::function<void(char digit)> onDigit;
  // Receive audio with its DTMF cut out, for the call and the stations.
  std::function<void(const float* samples, std::size_t count)> onAudio;
  // A trouble for the operator; `history` also puts it in the history log.
  std::function<void(const std::string& text, bool history)> onProblem;

  // The server's rate is known (again): the decoder, the VOX and the mute are made for it.
  void start(int rate);
  // Takes what radio_in has received since.
  void receive();
  // Reads the squelch line (its descriptor became readable).
  void readSquelch();
  // At each turn of the loop: a polled squelch line read, RxLimit and the DTMF time-out looked at.
  void service();

  // Something here wants the loop's quick turn: a carrier that counts, or a squelch line that is only seen by polling
  // it. Otherwise what is heard waits in the ring for the resting turn; nothing is lost.
  bool moving() const;
  // The least peak of radio_in that may matter: it could open the VOX or wake the DTMF decoder. Quieter audio can wait
  // in the ring for the resting turn.
  float soundPeak() const;

  // The line's descriptor to watch; -1 when it is polled, lost or absent.
  int squelchFd() const { return squelch_ && !squelchLost_ ? squelch_->fd() : -1; }
  bool squelchLost() const { return squelchLost_; }
  void closeSquelch() { squelch_.reset(); }

 private:
  void heardDigit(char digit);
  void carrierFromRadio(bool heard);
  void passCarrier(bool on);

  AudioPort& port_;
  const MonotonicClock& clock_;
  const RadioSettings& settings_;
  NodeGauges& gauges_;
  std::unique_ptr<SquelchLine> squelch_;
  bool squelchLost_ = false;
  std::unique_ptr<DtmfDecoder> decoder_;
  std::unique_ptr<Vox> vox_;
  std::unique_ptr<DtmfMute> dtmfMute_;
  DtmfCollector collector_;
  CarrierTimeout rxTimeout_;
  std::vector<float> scratch_ = std::vector<float>(4096), clean_ = std::vector<float>(4096);
};

}  // namespace qm::radio
