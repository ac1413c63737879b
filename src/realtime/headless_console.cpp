#include "realtime/headless_console.h"

#include <unistd.h>

#include <QTimer>
#include <iostream>

#include "realtime/qt_scheduler.h"
#include "scenario/script.h"
#include "scenario/session.h"

namespace qm {

HeadlessConsole::HeadlessConsole(Session& session) : session_(session) {}

void HeadlessConsole::begin() {
  notifier_ = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readInput(); });
}

void HeadlessConsole::readInput() {
  char buf[4096];
  ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
  if (n <= 0) {
    notifier_->setEnabled(false);  // end of input: the node keeps running until it is stopped
    return;
  }
  partial_.append(buf, static_cast<std::size_t>(n));
  std::size_t nl;
  while ((nl = partial_.find('\n')) != std::string::npos) {
    std::string line = partial_.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    partial_.erase(0, nl + 1);
    queued_.push_back(line);
  }
  runQueued();
}

void HeadlessConsole::runQueued() {
  while (!waiting_ && !queued_.empty()) {
    std::string line = queued_.front();
    queued_.pop_front();
    runLine(line);
  }
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
      QTimer::singleShot(static_cast<int>(std::min<long long>(d.count(), INT32_MAX)), this, [this] {
        waiting_ = false;
        runQueued();
      });
      return;
    }
    if (cmd == "expect" || cmd == "file" || cmd == "clock" || cmd == "callsign" || cmd == "running-copy")
      throw ScriptError("'" + cmd + "' works in scenario files only (quillmere --scenario FILE)");
    session_.transcript.input(line.substr(line.find_first_not_of(" \t")));
    bool known = true;
    try {
      known = session_.act(*words);
    } catch (const ScriptError&) {
      throw;
    } catch (const std::exception& e) {
      std::cerr << "quillmere: " << cmd << ": " << e.what() << std::endl;
    }
    if (!known) throw ScriptError("unknown command '" + cmd + "'");
  } catch (const ScriptError& e) {
    std::cerr << "quillmere: " << e.what() << std::endl;
  }
}

}  // namespace qm
