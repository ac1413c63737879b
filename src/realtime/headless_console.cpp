#include "realtime/headless_console.h"

#include "platform/log_priority.h"

#include <fcntl.h>
#include <unistd.h>

#include <QTimer>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "platform/log_priority.h"
#include "realtime/qt_scheduler.h"
#include "scenario/script.h"
#include "scenario/session_actions.h"
#include "session/session.h"

namespace qm {

HeadlessConsole::HeadlessConsole(Session& session) : session_(session) {}

void HeadlessConsole::begin() {
  notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readInput(); });
}

void HeadlessConsole::tellHowToStop(std::ostream& err, const std::string& transcriptFile) {
  err << logPrefix(LogLevel::Info) << "quillmere: running headless; commands are read from standard input, the "
      << "transcript goes to " << (transcriptFile.empty() ? std::string("standard output") : transcriptFile) << "\n"
      << logPrefix(LogLevel::Info)
      << "quillmere: stop with Ctrl-C or SIGTERM (SIGINT and SIGHUP too): the transmitter is released and the "
         "program ends"
      << std::endl;
}

void HeadlessConsole::readInput() {
  char buf[65536];
  ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    notifier_->setEnabled(false);
    // A service's standard input is at its end from the start: nothing wrong with that.
    if (n < 0)
      std::cerr << "quillmere: standard input cannot be read (" << std::strerror(errno) << ")";
    else
      std::cerr << logPrefix(LogLevel::Info) << "quillmere: standard input has ended";
    std::cerr << "; the node goes on running until it is stopped" << std::endl;
    return;
  }
  auto taken = input_.take(std::string_view(buf, static_cast<std::size_t>(n)));
  if (taken.overlong > 0)
    std::cerr << "quillmere: a line of standard input is longer than " << kInputLineLimit
              << " bytes; it is skipped up to its end" << std::endl;
  for (auto& line : taken.lines) queued_.push_back(std::move(line));
  runQueued();
}

void HeadlessConsole::runQueued() {
  while (!waiting_ && !queued_.empty()) {
    std::string line = queued_.front();
    queued_.pop_front();
    runLine(line);
  }
}

void HeadlessConsole::waitFor(long long ms) {
  // A Qt timer takes at most INT32_MAX ms (24.8 days); a longer wait is served in turns.
  const long long turn = std::min<long long>(ms, INT32_MAX);
  QTimer::singleShot(static_cast<int>(turn), this, [this, rest = ms - turn] {
    if (rest > 0) {
      waitFor(rest);
      return;
    }
    waiting_ = false;
    runQueued();
  });
}

void HeadlessConsole::runLine(const std::string& line) {
  try {
    auto words = splitWords(line);
    if (!words) return;
    const std::string& cmd = (*words)[0];
    if (cmd == "wait") {
      if (words->size() != 2) throw ScriptError("'wait' takes one time");
      auto d = parseWaitTime((*words)[1]);
      waiting_ = true;
      waitFor(d.count());
      return;
    }
    if (cmd == "expect" || cmd == "file" || cmd == "clock" || cmd == "callsign" || cmd == "running-copy")
      throw ScriptError("'" + cmd + "' works in scenario files only (quillmere --scenario FILE)");
    // Echoed before the first output it causes; not at all when it is refused.
    session_.transcript.holdInput(line.substr(line.find_first_not_of(" \t")));
    bool known = true;
    try {
      known = runAction(session_, *words);
    } catch (const ScriptError&) {
      session_.transcript.dropInput();
      throw;
    } catch (const std::exception& e) {
      session_.transcript.releaseInput();
      std::cerr << "quillmere: " << cmd << ": " << e.what() << std::endl;
    }
    if (!known) {
      session_.transcript.dropInput();
      throw ScriptError("unknown command '" + cmd + "'");
    }
    session_.transcript.releaseInput();
  } catch (const ScriptError& e) {
    std::cerr << "quillmere: " << e.what() << std::endl;
  }
}

void ensureStandardStreams() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor: this one.
    int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) ::close(opened);
  }
}

}  // namespace qm
