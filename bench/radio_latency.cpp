// The radio node's latencies, measured on a running JACK server (JACK_DEFAULT_SERVER; bench/radio_bench.sh starts a
// dummy one) with PTY lines:
//   SetPTT(true) to the PTT line keyed    from the call to the T read on the line's far side
//   keying to speech at radio_out         from SetPTT(true) to the first sample of sound in radio_out, counted in
//                                         JACK's frames (TxDelay is 150 ms here)
//   carrier drop to DTMFString            from writing Z on the squelch line to the event on the program's thread
// Each is measured N times (argument 1, default 20); the median, the 95th percentile and the worst are printed.
#include <fcntl.h>
#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/output_log.h"
#include "platform/scheduler.h"
#include "radio/radio_node.h"

namespace {

using Clock = std::chrono::steady_clock;

// The program's thread: messages posted from the node run here, in order.
class PostedQueue : public qm::Scheduler {
 public:
  TimePoint now() const override { return qm::Scheduler::Clock::now(); }
  void post(std::function<void()> m) override {
    std::lock_guard l(lock_);
    queue_.push_back(std::move(m));
    ready_.notify_one();
  }
  void processPending() override {}
  void hold(std::chrono::milliseconds) override {}
  void armTimer(qm::Timer&) override {}
  void disarmTimer(qm::Timer&) override {}
  // Runs messages until `done` holds or `limit` passes.
  bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto until = Clock::now() + limit;
    while (!done()) {
      std::unique_lock l(lock_);
      if (!ready_.wait_until(l, until, [&] { return !queue_.empty(); })) return false;
      auto m = std::move(queue_.front());
      queue_.pop_front();
      l.unlock();
      m();
    }
    return true;
  }

 private:
  std::mutex lock_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
};

jack_client_t* client;
jack_port_t *in, *out;
jack_ringbuffer_t* toPlay;
std::atomic<jack_nframes_t> onset{0};  // the frame at which sound first reached radio_out
std::atomic<bool> armed{false};

int process(jack_nframes_t n, void*) {
  auto* o = static_cast<float*>(jack_port_get_buffer(out, n));
  std::size_t got = jack_ringbuffer_read(toPlay, reinterpret_cast<char*>(o), n * 4) / 4;
  std::fill(o + got, o + n, 0.0f);
  auto* i = static_cast<const float*>(jack_port_get_buffer(in, n));
  if (armed)
    for (jack_nframes_t k = 0; k < n; ++k)
      if (std::fabs(i[k]) > 0.001f) {
        onset = jack_last_frame_time(client) + k;
        armed = false;
        break;
      }
  return 0;
}

int openFar(const std::filesystem::path& p) {
  for (int i = 0; i < 100; ++i) {
    int fd = ::open(p.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) return fd;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return -1;
}

// Waits for `c` on `fd`; true when it came within `limit`.
bool awaitChar(int fd, char c, int limitMs) {
  auto until = Clock::now() + std::chrono::milliseconds(limitMs);
  while (Clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) > 0) {
      char buf[16];
      ssize_t r = ::read(fd, buf, sizeof buf);
      for (ssize_t k = 0; k < r; ++k)
        if (buf[k] == c) return true;
    }
  }
  return false;
}

void report(const char* what, std::vector<double> ms) {
  if (ms.empty()) return std::printf("%-34s no measurement\n", what), void();
  std::sort(ms.begin(), ms.end());
  std::printf("%-34s median %8.3f ms   95%% %8.3f ms   worst %8.3f ms   (%zu runs)\n", what, ms[ms.size() / 2],
              ms[ms.size() * 95 / 100], ms.back(), ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  // The measuring side (this thread reads the line's far side and plays the program's thread) at real-time priority
  // too when it may, so a busy machine's scheduling shows less in what is measured.
  sched_param priority{};
  priority.sched_priority = 5;
  bool measuringRealTime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
  auto dir = std::filesystem::temp_directory_path() / ("quillmere-radio-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  PostedQueue program;
  qm::NullOutputLog log;
  qm::radio::RadioSettings s;
  s.jackServer = "";
  s.squelch = "pty:" + (dir / "squelch").string();
  s.ptt = "pty:" + (dir / "ptt").string();
  s.txDelayMs = 150;
  s.txTailMs = 50;
  qm::radio::RadioNode node(program, log, s);
  node.catchSignals = false;
  auto app = node.createApp();
  int strings = 0;
  Clock::time_point stringAt;
  app->events.DTMFString = [&](const std::string&) {
    stringAt = Clock::now();
    ++strings;
  };
  std::string error;
  if (!node.start(error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  int ptt = openFar(dir / "ptt"), squelch = openFar(dir / "squelch");
  jack_status_t st;
  client = jack_client_open("radio_bench", JackNoStartServer, &st);
  if (!client || ptt < 0 || squelch < 0) return std::fprintf(stderr, "no JACK server or no lines\n"), 1;
  toPlay = jack_ringbuffer_create(1 << 20);
  in = jack_port_register(client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  out = jack_port_register(client, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  jack_set_process_callback(client, process, nullptr);
  jack_activate(client);
  for (int i = 0; i < 100 && (jack_connect(client, "quillmere:radio_out", "radio_bench:in") != 0 ||
                              jack_connect(client, "radio_bench:out", "quillmere:radio_in") != 0);
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int rate = static_cast<int>(jack_get_sample_rate(client));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::vector<double> keying, speech, drop;
  std::vector<std::int16_t> tone(22050 / 5);
  for (std::size_t i = 0; i < tone.size(); ++i)
    tone[i] = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i) / 22050));
  for (int r = 0; r < runs; ++r) {
    onset = 0;
    armed = true;
    jack_nframes_t keyedFrame = jack_frame_time(client);
    auto t0 = Clock::now();
    app->SetPTT(true);
    bool keyed = awaitChar(ptt, 'T', 1000);
    auto t1 = Clock::now();
    node.transmitSpeech(tone, 22050);
    if (keyed) keying.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    for (int i = 0; i < 100 && onset == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // In frames, JACK's own clock: the dummy server's cycles are what "reaching radio_out" means.
    if (onset != 0) speech.push_back(static_cast<std::int32_t>(onset.load() - keyedFrame) * 1000.0 / rate);
    armed = false;
    app->SetPTT(false);
    awaitChar(ptt, 'R', 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // DTMF "5" for 100 ms while the carrier is up, then the drop.
  std::vector<float> digit(static_cast<std::size_t>(rate / 10));
  for (std::size_t i = 0; i < digit.size(); ++i) {
    double t = static_cast<double>(i) / rate;
    digit[i] = static_cast<float>(
        0.3 * (std::sin(2 * std::numbers::pi * 770 * t) + std::sin(2 * std::numbers::pi * 1336 * t)));
  }
  for (int r = 0; r < runs; ++r) {
    (void)!::write(squelch, "O", 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    jack_ringbuffer_write(toPlay, reinterpret_cast<const char*>(digit.data()), digit.size() * 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    program.runUntil([] { return false; }, std::chrono::milliseconds(1));
    int before = strings;
    auto t0 = Clock::now();
    (void)!::write(squelch, "Z", 1);
    if (program.runUntil([&] { return strings > before; }, std::chrono::milliseconds(1000)))
      drop.push_back(std::chrono::duration<double, std::milli>(stringAt - t0).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  report("SetPTT(true) to the line keyed", keying);
  report("keying to speech at radio_out", speech);
  report("carrier drop to DTMFString", drop);
  std::printf("(JACK at %d Hz, period %u frames; TxDelay %d ms; the node's thread %s)\n", rate,
              jack_get_buffer_size(client), s.txDelayMs,
              node.realTime() ? "at real-time priority" : "at normal priority");
  std::printf("(the measuring thread %s)\n", measuringRealTime ? "at real-time priority" : "at normal priority");
  jack_client_close(client);
  node.stop();
  std::filesystem::remove_all(dir);
  return 0;
}
