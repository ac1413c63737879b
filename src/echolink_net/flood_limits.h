#pragma once
// Bounds on what stations on the internet can make the node do, whatever they send: how often a station may connect
// (each connection is announced on the air, so a station calling again and again would keep the transmitter keyed),
// and how much of a station's audio may wait to be sent (audio arriving faster than real time would heap up).
// The time is passed in.
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace qm::echolink_net {

using FloodClock = std::chrono::steady_clock;

class ConnectLimiter {
 public:
  struct Limits {
    std::chrono::seconds stationPause{30};  // a station taken is not taken again sooner (by callsign or address)
    int perMinute = 6;                      // stations taken in any minute, all together
  };
  enum class Verdict {
    Take,
    Refuse,  // refused, and told why (once in a pause)
    Ignore   // refused again within the same pause: not even answered
  };
  explicit ConnectLimiter(Limits limits) : limits_(limits) {}
  ConnectLimiter() : ConnectLimiter(Limits{}) {}
  Verdict judge(const std::string& call, const std::string& address, FloodClock::time_point now);
  // Why a caller was refused, for the caller and the log (after a Refuse verdict).
  const std::string& reason() const { return reason_; }

 private:
  struct Seen {
    FloodClock::time_point taken{}, told{};
    bool wasTaken = false, wasTold = false;
  };
  void forgetOld(FloodClock::time_point now);

  Limits limits_;
  std::map<std::string, Seen> seen_;  // by callsign and by address
  std::deque<FloodClock::time_point> taken_;
  std::string reason_;
};

// Lets a station's audio through at real time plus a cushion (a jitter buffer's worth): what arrives beyond that is
// dropped and counted.
class AudioBudget {
 public:
  AudioBudget(int samplesPerSecond, std::chrono::milliseconds cushion)
      : rate_(samplesPerSecond), cushion_(static_cast<double>(samplesPerSecond) * cushion.count() / 1000.0) {}
  // How many of `count` samples arriving at `now` are let through (the first ones); the rest are dropped.
  std::size_t take(std::size_t count, FloodClock::time_point now);
  std::uint64_t dropped() const { return dropped_; }

 private:
  int rate_;
  double cushion_;
  double tokens_ = -1;  // before the first audio: a full cushion
  FloodClock::time_point last_{};
  std::uint64_t dropped_ = 0;
};

}  // namespace qm::echolink_net
