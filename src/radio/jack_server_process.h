#pragma once
// A JACK server started by the node when none runs (quillmere_radio.ini's JackServer): a child process in a process
// group of its own, so that it gets no terminal signals meant for us and is ended, with anything it started, when
// the node ends. The last lines it wrote on standard error explain a failure to start.
#include <sys/types.h>
#include <string>

namespace qm::radio {

// Asks every JACK server a node started to end (SIGTERM to its group), at once: for the program's immediate end,
// which runs no destructor. Async-signal-safe.
void endStartedJackServersNow() noexcept;

class JackServerProcess {
 public:
  JackServerProcess() = default;
  ~JackServerProcess();  // ends the server
  JackServerProcess(const JackServerProcess&) = delete;
  JackServerProcess& operator=(const JackServerProcess&) = delete;

  // Runs `command` (split at blanks, no shell); false with `error` when it cannot be run at all.
  bool start(const std::string& command, std::string& error);
  // True while the child runs; reaps it when it has ended.
  bool running();
  // Reads what the server has written on standard error since (keeps the pipe from filling).
  void drain();
  // Its last lines on standard error, or how it ended, for a message.
  std::string lastWords();
  // Ends the server: SIGTERM to its group, SIGKILL after two seconds.
  void stop();

 private:
  pid_t pid_ = -1;
  int stderr_ = -1;
  int status_ = 0;
  bool ended_ = false;
  std::string tail_;
};

}  // namespace qm::radio
