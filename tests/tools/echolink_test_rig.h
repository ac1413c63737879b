#pragma once
// What the EchoLink network's loopback tests and benchmark share: SvxLink's Async loop on a thread of its own (as the
// radio node runs it), a listener that records what the network raises, and the test peer as a child process.
#include <AsyncApplication.h>
#include <AsyncCppApplication.h>
#include <AsyncFdWatch.h>
#include <AsyncTimer.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "echolink_net/echolink_network.h"

namespace echolink_rig {

using Clock = std::chrono::steady_clock;

// The Async loop on its own thread; work reaches it through a pipe, as the node's queued commands do.
class AsyncLoop {
 public:
  AsyncLoop() {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) std::abort();
    std::promise<void> up;
    auto started = up.get_future();
    thread_ = std::thread([this, &up] {
      Async::CppApplication app;
      Async::FdWatch watch(pipe_[0], Async::FdWatch::FD_WATCH_RD);
      watch.activity.connect([this](Async::FdWatch*) { drain(); });
      up.set_value();
      app.exec();
    });
    started.wait();
  }
  ~AsyncLoop() {
    post([] { Async::Application::app().quit(); });
    thread_.join();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
  }
  void post(std::function<void()> work) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(work));
    }
    char c = 'w';
    (void)!::write(pipe_[1], &c, 1);
  }
  // Runs `work` on the loop and waits for it.
  template <class F>
  auto call(F work) -> decltype(work()) {
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    post([&task] { task(); });
    return result.get();
  }

 private:
  void drain() {
    char buf[64];
    (void)!::read(pipe_[0], buf, sizeof buf);
    std::deque<std::function<void()>> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      work.swap(queue_);
    }
    for (auto& w : work) w();
  }
  int pipe_[2];
  std::thread thread_;
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
};

// Lines that arrive from another thread, waited for with a deadline.
class Lines {
 public:
  void add(const std::string& line) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
    }
    changed_.notify_all();
  }
  // The first line not yet taken that starts with `prefix`; taken. Empty when none came in time.
  std::string take(const std::string& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::string found;
    changed_.wait_for(lock, timeout, [&] {
      for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].rfind(prefix, 0) == 0) {
          found = lines_[i];
          lines_.erase(lines_.begin() + static_cast<long>(i));
          return true;
        }
      return false;
    });
    return found;
  }
  int count(const std::string& prefix) {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& l : lines_)
      if (l.rfind(prefix, 0) == 0) ++n;
    return n;
  }
  std::vector<std::string> all() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> lines_;
};

// Records the network's events as lines ("connect CALL NAME ADDR", "rx on", "problem TEXT" ...) and measures the
// network audio: samples, zero crossings and level while RX is on, and when the first loud sample of each burst came.
class RecordingListener : public qm::echolink_net::NetworkListener {
 public:
  Lines events;
  std::mutex audioMutex;
  long samples = 0, crossings = 0;
  double squares = 0;
  float last = 0;
  bool loud = false;
  std::vector<Clock::time_point> burstArrivals;

  void connected(const std::string& c, const std::string& n, const std::string& a) override {
    events.add("connect " + c + " " + n + " " + a);
  }
  void Disconnected(const std::string& c) override { events.add("disconnect " + c); }
  void ChatTextReceived(const std::string& t) override { events.add("chat " + t); }
  void StationTextReceived(const std::string& t) override { events.add("stationtext " + t); }
  void RX(bool on) override { events.add(on ? "rx on" : "rx off"); }
  void networkAudio(const float* s, std::size_t n) override {
    std::lock_guard<std::mutex> lock(audioMutex);
    auto now = Clock::now();
    for (std::size_t i = 0; i < n; ++i) {
      if ((last < 0) != (s[i] < 0)) ++crossings;
      last = s[i];
      squares += static_cast<double>(s[i]) * s[i];
      bool isLoud = std::fabs(s[i]) > 0.1f;
      if (isLoud && !loud) burstArrivals.push_back(now);
      if (isLoud)
        quietRun = 0;
      else if (++quietRun > 400)
        loud = false;  // 50 ms of quiet ends a burst
      if (isLoud) loud = true;
    }
    samples += static_cast<long>(n);
  }
  void directoryStatus(qm::echolink_net::DirectoryStatus s) override {
    events.add(std::string("status ") + qm::echolink_net::directoryStatusName(s));
  }
  void problem(const std::string& t) override { events.add("problem " + t); }
  void remark(const std::string& t) override { events.add("remark " + t); }
  void announce(const std::string& t) override { events.add("announce " + t); }

  double frequency() {
    std::lock_guard<std::mutex> lock(audioMutex);
    return samples > 0 ? crossings / 2.0 / (samples / 8000.0) : 0;
  }

 private:
  int quietRun = 0;
};

// The test peer (tests/tools/echolink_peer.cpp) as a child process: commands on its standard input, its lines read
// by a thread of our own.
class PeerProcess {
 public:
  PeerProcess(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) std::abort();
    static std::string program = ECHOLINK_PEER;
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    toPeer_ = in[1];
    fromPeer_ = out[0];
    reader_ = std::thread([this] {
      std::string pending;
      char buf[4096];
      ssize_t n;
      while ((n = ::read(fromPeer_, buf, sizeof buf)) > 0) {
        pending.append(buf, static_cast<std::size_t>(n));
        for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
          lines.add(pending.substr(0, nl));
          pending.erase(0, nl + 1);
        }
      }
    });
  }
  ~PeerProcess() {
    if (pid_ > 0) {
      send("quit");
      for (int i = 0; i < 200 && !exited(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (!exited()) kill();
    }
    ::close(toPeer_);
    reader_.join();
    ::close(fromPeer_);
  }
  void send(const std::string& command) {
    std::string line = command + "\n";
    (void)!::write(toPeer_, line.data(), line.size());
  }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  Lines lines;

 private:
  bool exited() {
    if (pid_ <= 0) return true;
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }
  pid_t pid_ = -1;
  int toPeer_ = -1, fromPeer_ = -1;
  std::thread reader_;
};

}  // namespace echolink_rig
