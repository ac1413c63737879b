// Network audio from a station through the EchoLink network component, on loopback: the test peer on 127.0.0.2
// talks (a tone burst every second) to the node on 127.0.0.1 for a few minutes. Measured: latency from the peer
// writing a burst's first sample to the node handing it on (both on CLOCK_MONOTONIC; includes the 80 ms GSM/Speex
// packet the library fills before sending), drop-outs (audio lost, gaps in the stream, RX dropping mid-talk), and
// the CPU this process (the node's side) used meanwhile.
//
// Usage: echolink_audio_bench [SECONDS [gsm]] (default 180 s; gsm: the peer speaks GSM only, as EchoLink's own
// programs do, instead of the Speex two libecholib stations agree on)
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "echolink_net/echolink_network.h"
#include "echolink_test_rig.h"

namespace {

using namespace std::chrono_literals;
using echolink_rig::Clock;

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Counts the blocks and the gaps between them, besides what the recording listener measures.
class BenchListener : public echolink_rig::RecordingListener {
 public:
  std::vector<Clock::time_point> blockTimes;
  void networkAudio(const float* s, std::size_t n) override {
    RecordingListener::networkAudio(s, n);
    std::lock_guard<std::mutex> lock(audioMutex);
    blockTimes.push_back(Clock::now());
  }
};

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 180;
  constexpr int kPortBase = 35200;
  BenchListener listener;
  std::unique_ptr<qm::echolink_net::EchoLinkNetwork> net;
  {
    echolink_rig::AsyncLoop loop;
    qm::echolink_net::EchoLinkNetSettings s;
    s.enabled = true;
    s.servers.clear();
    s.requireDirectory = false;
    s.bindAddress = "127.0.0.1";
    s.portBase = kPortBase;
    loop.call([&] {
      net = std::make_unique<qm::echolink_net::EchoLinkNetwork>(s, "N0QM-L", listener);
      return 0;
    });
    if (!loop.call([&] { return net->ready(); })) {
      std::fprintf(stderr, "the node's ports cannot be opened\n");
      return 1;
    }
    echolink_rig::PeerProcess peer({"PE1ER", "127.0.0.2", std::to_string(kPortBase)});
    if (peer.lines.take("ready", 5s).empty()) return 1;
    bool gsm = argc > 2 && std::string(argv[2]) == "gsm";
    if (gsm) peer.send("gsm");
    peer.send("connect 127.0.0.1");
    if (listener.events.take("connect", 10s).empty()) {
      std::fprintf(stderr, "the peer did not connect\n");
      return 1;
    }
    double cpuBefore = cpuSeconds();
    auto wallBefore = Clock::now();
    peer.send("bursts " + std::to_string(seconds) + " 1000 200 1000");
    if (peer.lines.take("tone done", std::chrono::seconds(seconds + 30)).empty()) return 1;
    std::this_thread::sleep_for(1500ms);  // the last packets and RX off
    double cpu = cpuSeconds() - cpuBefore;
    double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();

    std::vector<long long> sent;
    for (;;) {
      std::string line = peer.lines.take("burst ", 0ms);
      if (line.empty()) break;
      sent.push_back(std::stoll(line.substr(6)));
    }
    std::vector<double> latencies;
    long samples, gaps = 0;
    double longestGapMs = 0;
    {
      std::lock_guard<std::mutex> lock(listener.audioMutex);
      samples = listener.samples;
      for (std::size_t i = 0; i < sent.size() && i < listener.burstArrivals.size(); ++i) {
        long long arrived =
            std::chrono::duration_cast<std::chrono::nanoseconds>(listener.burstArrivals[i].time_since_epoch()).count();
        latencies.push_back((arrived - sent[i]) / 1e6);
      }
      for (std::size_t i = 1; i < listener.blockTimes.size(); ++i) {
        double ms =
            std::chrono::duration<double, std::milli>(listener.blockTimes[i] - listener.blockTimes[i - 1]).count();
        longestGapMs = std::max(longestGapMs, ms);
        if (ms > 150) ++gaps;  // two packets' worth missing
      }
    }
    int rxOn = listener.events.count("rx on"), rxOff = listener.events.count("rx off");
    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) {
      return latencies.empty()
                 ? 0
                 : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(p * latencies.size()))];
    };
    long expected = static_cast<long>(seconds) * 8000;
    std::printf("codec: %s\n", gsm ? "GSM" : "Speex");
    std::printf("talk: %d s, bursts sent %zu, bursts heard %zu\n", seconds, sent.size(), listener.burstArrivals.size());
    std::printf("latency first sample, ms: median %.1f  p95 %.1f  max %.1f  min %.1f\n", pct(0.5), pct(0.95),
                latencies.empty() ? 0 : latencies.back(), latencies.empty() ? 0 : latencies.front());
    std::printf(
        "audio: %ld of %ld samples (%.3f%% lost), gaps over 150 ms: %ld, longest gap %.1f ms, RX on %d off %d\n",
        samples, expected, expected > 0 ? 100.0 * (expected - std::min(samples, expected)) / expected : 0.0, gaps,
        longestGapMs, rxOn, rxOff);
    std::printf("node side CPU: %.3f s over %.1f s = %.2f%% of one core\n", cpu, wall, 100 * cpu / wall);
    loop.call([&] {
      net.reset();
      return 0;
    });
  }
  return 0;
}
