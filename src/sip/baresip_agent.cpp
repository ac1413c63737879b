#include "sip/baresip_agent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qm {
namespace {

// Writes a file that only its owner can read (the accounts hold the password).
bool writePrivateFile(const std::filesystem::path& path, const std::string& content, std::string& problem) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    problem = "cannot write " + path.string() + ": " + std::strerror(errno);
    return false;
  }
  ::fchmod(fd, 0600);
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem = "cannot write " + path.string() + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    problem = "cannot write " + path.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// A line of baresip's output without its colour codes and line ends.
std::string plainLine(const std::string& line) {
  std::string out;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\x1b' && i + 1 < line.size() && line[i + 1] == '[') {
      i += 2;
      while (i < line.size() && !((line[i] >= 'A' && line[i] <= 'Z') || (line[i] >= 'a' && line[i] <= 'z'))) ++i;
      continue;
    }
    if (line[i] != '\r' && line[i] != '\n') out += line[i];
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

BaresipAgent::BaresipAgent(AgentIo& io, Scheduler& scheduler, std::filesystem::path folder)
    : io_(io),
      scheduler_(scheduler),
      folder_(std::move(folder)),
      startLimit_(host_, "startLimit", scheduler, static_cast<int>(kStartLimit.count()), false),
      connectRetry_(host_, "connectRetry", scheduler, static_cast<int>(kConnectRetry.count()), false),
      restartTimer_(host_, "restart", scheduler, static_cast<int>(kFirstBackOff.count()), false) {
  io_.handlers.started = [this] { started(); };
  io_.handlers.ended = [this](const std::string& why) { ended(why); };
  io_.handlers.output = [this](const std::string& line) { output(line); };
  io_.handlers.connected = [this] { connected(); };
  io_.handlers.disconnected = [this](const std::string& why) { disconnected(why); };
  io_.handlers.received = [this](const std::string& bytes) { received(bytes); };
  startLimit_.onTimer = [this] {
    startLimit_.setEnabled(false);
    fail("baresip did not open its control port 127.0.0.1:" + std::to_string(port_) + " within " +
         std::to_string(kStartLimit.count() / 1000) + " seconds");
  };
  connectRetry_.onTimer = [this] {
    connectRetry_.setEnabled(false);
    if (state_ == State::Connecting) io_.connectControl(port_);
  };
  restartTimer_.onTimer = [this] {
    restartTimer_.setEnabled(false);
    if (state_ == State::Down) start();
  };
}

BaresipAgent::~BaresipAgent() {
  io_.handlers = {};
  io_.closeControl();
  if (io_.processRunning()) io_.stopProcess();
}

std::chrono::milliseconds BaresipAgent::backOff() const {
  auto delay = kFirstBackOff;
  for (int i = 1; i < failures_ && delay < kLongestBackOff; ++i) delay *= 2;
  return std::min(delay, kLongestBackOff);
}

bool BaresipAgent::writeFiles(std::string& problem) {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (ec) {
    problem = "cannot create " + folder_.string() + ": " + ec.message();
    return false;
  }
  port_ = settings_.controlPort ? settings_.controlPort : io_.freePort();
  if (port_ == 0) {
    problem = "no free TCP port on 127.0.0.1 for baresip's control channel";
    return false;
  }
  return writePrivateFile(folder_ / "config", baresipConfig(settings_, port_), problem) &&
         writePrivateFile(folder_ / "accounts", baresipAccounts(settings_), problem);
}

void BaresipAgent::start() {
  if (state_ != State::Stopped && state_ != State::Down) return;
  restartTimer_.setEnabled(false);
  reader_.reset();
  frames_.clear();
  lastWarning_.clear();
  wasReady_ = false;
  std::string problem;
  if (!writeFiles(problem)) {
    goDown(problem);
    return;
  }
  state_ = State::Starting;
  startLimit_.setEnabled(true);
  if (listener.remark) listener.remark("starting " + settings_.program + " -f " + folder_.string());
  io_.startProcess(settings_.program, {"-f", folder_.string()}, port_);
}

void BaresipAgent::restart() {
  switch (state_) {
    case State::Stopped:
    case State::Down:
      start();
      break;
    case State::Starting:
    case State::Connecting:
    case State::Ready:
      restartPending_ = true;
      state_ = State::Stopping;
      startLimit_.setEnabled(false);
      connectRetry_.setEnabled(false);
      io_.closeControl();
      io_.stopProcess();
      break;
    case State::Failing:
    case State::Stopping:
      restartPending_ = true;
      break;
  }
}

void BaresipAgent::stop() {
  restartPending_ = false;
  startLimit_.setEnabled(false);
  connectRetry_.setEnabled(false);
  restartTimer_.setEnabled(false);
  io_.closeControl();
  if (io_.processRunning()) {
    state_ = State::Stopping;
    io_.stopProcess();
  } else {
    state_ = State::Stopped;
  }
}

void BaresipAgent::kill() {
  if (io_.processRunning()) io_.killProcess();
}

bool BaresipAgent::send(const std::string& command, const std::string& params, const std::string& token) {
  if (state_ != State::Ready) return false;
  io_.send(netstring(baresipCommand(command, params, token)));
  return true;
}

void BaresipAgent::started() {
  if (state_ != State::Starting) return;
  state_ = State::Connecting;
  io_.connectControl(port_);
}

void BaresipAgent::connected() {
  if (state_ != State::Connecting) {
    io_.closeControl();
    return;
  }
  state_ = State::Ready;
  startLimit_.setEnabled(false);
  wasReady_ = true;
  readySince_ = scheduler_.now();
  if (listener.remark) listener.remark("baresip is ready; control channel 127.0.0.1:" + std::to_string(port_));
  if (listener.ready) listener.ready();
}

void BaresipAgent::disconnected(const std::string& why) {
  if (state_ == State::Connecting) {
    connectRetry_.setEnabled(true);  // not listening yet: try again shortly
  } else if (state_ == State::Ready) {
    fail("baresip closed its control connection" + (why.empty() ? "" : " (" + why + ")"));
  }
}

void BaresipAgent::received(const std::string& bytes) {
  if (state_ != State::Ready) return;
  for (std::string& frame : reader_.feed(bytes)) frames_.push_back(std::move(frame));
  if (reader_.failed()) {
    frames_.clear();
    fail("baresip's control channel broke: " + reader_.problem());
    return;
  }
  if (handingOn_) return;  // the loop below, further up the stack, takes them in order
  struct HandingOn {
    bool& flag;
    explicit HandingOn(bool& f) : flag(f) { flag = true; }
    ~HandingOn() { flag = false; }
  } handingOn{handingOn_};
  while (!frames_.empty() && state_ == State::Ready) {
    std::string frame = std::move(frames_.front());
    frames_.pop_front();
    std::string problem;
    auto message = parseBaresipMessage(frame, problem);
    if (!message) {
      if (listener.remark) listener.remark("baresip sent a message that is not understood, " + problem + ": " + frame);
      continue;
    }
    if (listener.message) listener.message(*message);
  }
  if (state_ != State::Ready) frames_.clear();  // the listener stopped or restarted the agent
}

void BaresipAgent::output(const std::string& line) {
  std::string text = plainLine(line);
  if (text.empty()) return;
  // baresip prints its warnings in red.
  if (line.find("\x1b[31m") != std::string::npos) lastWarning_ = text;
}

std::string BaresipAgent::withLastWarning(const std::string& why) const {
  return lastWarning_.empty() ? why : why + " (baresip said: " + lastWarning_ + ")";
}

void BaresipAgent::ended(const std::string& why) {
  switch (state_) {
    case State::Stopping:
      io_.closeControl();
      state_ = State::Stopped;
      if (restartPending_) {
        restartPending_ = false;
        start();
      }
      break;
    case State::Failing:
      if (restartPending_) {
        restartPending_ = false;
        state_ = State::Stopped;
        start();
      } else {
        goDown(failure_);
      }
      break;
    case State::Starting:
    case State::Connecting:
    case State::Ready:
      io_.closeControl();
      goDown(withLastWarning(why));
      break;
    case State::Down:
    case State::Stopped:
      break;
  }
}

void BaresipAgent::fail(const std::string& why) {
  startLimit_.setEnabled(false);
  connectRetry_.setEnabled(false);
  io_.closeControl();
  if (io_.processRunning()) {
    state_ = State::Failing;
    failure_ = withLastWarning(why);
    io_.stopProcess();
  } else {
    goDown(withLastWarning(why));
  }
}

void BaresipAgent::goDown(const std::string& why) {
  bool was = wasReady_;
  wasReady_ = false;
  if (was && scheduler_.now() - readySince_ >= kSteadyRun) failures_ = 0;
  ++failures_;
  state_ = State::Down;
  startLimit_.setEnabled(false);
  connectRetry_.setEnabled(false);
  restartTimer_.setInterval(static_cast<int>(backOff().count()));
  restartTimer_.setEnabled(true);
  if (listener.remark)
    listener.remark("baresip is down: " + why + "; next start in " + std::to_string(backOff().count() / 1000) + " s");
  if (listener.down) listener.down(why, was);
}

}  // namespace qm

namespace qm {

bool BaresipAgent::setRefusal(int status) {
  std::string problem;
  return writePrivateFile(folder_ / "refusal", std::to_string(status), problem);
}

}  // namespace qm
