#pragma once
// When the transmitter is keyed: while anyone asks for it (the program's SetPTT) or audio is left to send, plus a
// tail after both have stopped. TxLimit bounds one keying whatever asks: when it runs out the transmitter is released
// and stays released until both the request and the audio have let go. The time is passed in.
#include <chrono>
#include <optional>

namespace qm::radio {

class Transmitter {
 public:
  using Clock = std::chrono::steady_clock;
  struct Settings {
    std::chrono::milliseconds tail{100};
    std::chrono::seconds limit{300};  // 0: no limit
  };
  struct Step {
    bool keyed = false;
    bool keyedNow = false;      // this step keyed the transmitter
    bool limitReached = false;  // this step released it because the limit ran out
  };

  explicit Transmitter(Settings settings) : settings_(settings) {}

  // `wanted`: someone asks for the transmitter; `audioLeft`: audio is still queued or playing.
  Step update(bool wanted, bool audioLeft, Clock::time_point now);
  // Released at once, and kept released until nothing asks for it, as when the limit runs out: for a keying whose
  // audio has nowhere to go any more (the sound server went away or stopped moving audio). Called while not keyed,
  // a request that is already there (or comes before the next update) keys only after it has let go.
  void cutOff();
  bool keyed() const { return keyed_; }
  // Held released by the limit or a cut-off until nothing asks.
  bool held() const { return limited_; }
  // When update must next run even if nothing changes (the tail's end or the limit), if ever.
  std::optional<Clock::time_point> deadline() const;

 private:
  Settings settings_;
  bool keyed_ = false, limited_ = false;
  Clock::time_point keyedAt_{};
  std::optional<Clock::time_point> tailEnd_;
};

}  // namespace qm::radio
