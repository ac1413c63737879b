#pragma once
// The node's link to the JACK server, in named states:
//   Offline         not tried yet;
//   StartingServer  the server JackServer names was started here and is given up to ten seconds to come up;
//   Online          connected and moving audio;
//   Frozen          connected, but the server has not run a cycle for a second (SIGSTOP, a hung driver);
//   BackingOff      unreachable: tried again after 1, 2, 4 ... up to 60 s, the trouble told once until mended.
// A server that goes away is tried again after a second. The parts that use the audio hear of it through `up` and
// `gone`; the time is handed in, so the link is tested with a stand-in port and clock.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "radio/audio_port.h"
#include "radio/jack_server_process.h"
#include "radio/monotonic_clock.h"

namespace qm::radio {

class JackLink {
 public:
  enum class State { Offline, StartingServer, Online, Frozen, BackingOff };
  struct Settings {
    std::string serverCommand;  // JackServer: started when no server runs; empty: none is
    std::string capturePort, playbackPort;
  };

  JackLink(AudioPort& port, const MonotonicClock& clock, Settings settings);

  // The trouble the operator is told of.
  std::function<void(const std::string& text)> problem;
  // The first attempt's outcome (empty: connected); true when the start waiting for it takes a trouble.
  std::function<bool(const std::string& problem)> settle;
  // Connected at this rate: the audio parts are made for it. Then the radio's ports are linked.
  std::function<void(int rate)> up;
  // The server went away: the audio parts let go of what they queued.
  std::function<void()> gone;

  // An attempt now.
  void connect();
  // A due attempt made; the started server's output read. At each turn of the node's loop.
  void service();
  // The server has gone away (JACK's shutdown callback was told).
  void lost();
  // True while the connected server has not run a cycle for a second (or four periods, when they are longer).
  bool stalled();
  // Ends the server this link started.
  void stopServer() { server_.stop(); }

  State state() const { return state_; }
  // When the next attempt is due, while backing off or waiting for a server.
  std::optional<MonotonicClock::time_point> nextAttempt() const { return retryAt_; }

 private:
  void failed(const std::string& text);
  void retryIn(std::chrono::milliseconds delay);
  void connected();

  AudioPort& port_;
  const MonotonicClock& clock_;
  Settings settings_;
  JackServerProcess server_;
  State state_ = State::Offline;
  std::optional<MonotonicClock::time_point> retryAt_;
  std::optional<MonotonicClock::time_point> serverWaitUntil_;
  int backoffSeconds_ = 1;
  bool reported_ = false;  // a trouble was told and not yet mended
  std::uint64_t lastCycles_ = 0;
  MonotonicClock::time_point movedAt_{};
};

}  // namespace qm::radio
