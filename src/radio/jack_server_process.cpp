#include "radio/jack_server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

namespace qm::radio {

namespace {
std::atomic<pid_t> startedServer{-1};  // the group of the server a node started, while it runs
}  // namespace

void endStartedJackServersNow() noexcept {
  pid_t pid = startedServer.load();
  if (pid > 0) {
    ::kill(-pid, SIGTERM);
    ::kill(-pid, SIGCONT);  // a frozen server takes the SIGTERM too
  }
}

JackServerProcess::~JackServerProcess() {
  stop();
}

bool JackServerProcess::start(const std::string& command, std::string& error) {
  stop();
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) {
    error = "no JackServer command is set";
    return false;
  }
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) {
    error = std::string("cannot start '") + command + "': " + std::strerror(errno);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return false;
  }
  if (pid == 0) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a node killed outright takes its server with it
    ::dup2(pipeFds[1], STDERR_FILENO);
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
    }
    ::execvp(argv[0], argv.data());
    const char* why = std::strerror(errno);
    (void)!::write(STDERR_FILENO, "cannot run it: ", 15);
    (void)!::write(STDERR_FILENO, why, std::strlen(why));
    ::_exit(127);
  }
  ::setpgid(pid, pid);  // also here, so the group exists whichever runs first
  ::close(pipeFds[1]);
  stderr_ = pipeFds[0];
  ::fcntl(stderr_, F_SETFL, ::fcntl(stderr_, F_GETFL) | O_NONBLOCK);
  pid_ = pid;
  startedServer = pid;
  ended_ = false;
  tail_.clear();
  return true;
}

bool JackServerProcess::running() {
  if (pid_ < 0 || ended_) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
  return !ended_;
}

void JackServerProcess::drain() {
  if (stderr_ < 0) return;
  char buf[1024];
  for (;;) {
    ssize_t n = ::read(stderr_, buf, sizeof buf);
    if (n <= 0) break;
    tail_.append(buf, static_cast<std::size_t>(n));
  }
  if (tail_.size() > 4096) tail_.erase(0, tail_.size() - 4096);
}

std::string JackServerProcess::lastWords() {
  drain();
  // The last three lines that say something.
  std::vector<std::string> lines;
  std::istringstream in(tail_);
  for (std::string line; std::getline(in, line);)
    if (line.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(line);
  std::string out;
  for (std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i)
    out += (out.empty() ? "" : " / ") + lines[i];
  if (!running() && pid_ >= 0) {
    std::string how = WIFEXITED(status_)     ? "it exited with status " + std::to_string(WEXITSTATUS(status_))
                      : WIFSIGNALED(status_) ? "it was ended by signal " + std::to_string(WTERMSIG(status_))
                                             : "it ended";
    out = out.empty() ? how : how + ": " + out;
  }
  return out.empty() ? "it said nothing" : out;
}

void JackServerProcess::stop() {
  if (pid_ >= 0 && running()) {
    ::kill(-pid_, SIGTERM);
    ::kill(-pid_, SIGCONT);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (running() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (running()) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
    }
  }
  if (pid_ >= 0) startedServer = -1;
  pid_ = -1;
  ended_ = false;
  if (stderr_ >= 0) ::close(stderr_);
  stderr_ = -1;
}

}  // namespace qm::radio
