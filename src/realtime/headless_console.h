#pragma once
// The headless program: the simulated node and Skype in real time, the scenario language's actions read from
// standard input one line at a time ("wait TIME" delays the lines after it), the transcript on standard output.
#include <QObject>
#include <QSocketNotifier>
#include <deque>
#include <memory>
#include <string>

namespace qm {

class Session;

class HeadlessConsole : public QObject {
 public:
  explicit HeadlessConsole(Session& session);
  void begin();

 private:
  void readInput();
  void runQueued();
  void runLine(const std::string& line);

  Session& session_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::string partial_;
  std::deque<std::string> queued_;
  bool waiting_ = false;
};

}  // namespace qm
