#pragma once
// The headless program: the simulated node and Skype in real time, the scenario language's actions read from
// standard input one line at a time ("wait TIME" delays the lines after it), the transcript on standard output.
// A line is echoed into the transcript only when it runs; a refused one is named on standard error alone. Lines are
// kept up to kInputLineLimit bytes; the rest of a longer one is skipped with one message. When standard input ends
// (a service has none) the node goes on running until it is stopped.
#include <QObject>
#include <QSocketNotifier>
#include <deque>
#include <memory>
#include <ostream>
#include <string>

#include "scenario/input_lines.h"

namespace qm {

class Session;

class HeadlessConsole : public QObject {
 public:
  explicit HeadlessConsole(Session& session);
  void begin();
  // The first lines of a headless start: how to stop the node and where the transcript goes (`transcriptFile`,
  // or standard output when empty).
  static void tellHowToStop(std::ostream& err, const std::string& transcriptFile);

 private:
  void readInput();
  void runQueued();
  void runLine(const std::string& line);
  void waitFor(long long ms);

  Session& session_;
  std::unique_ptr<QSocketNotifier> notifier_;
  InputLines input_;
  std::deque<std::string> queued_;
  bool waiting_ = false;
};

// Standard input, output and error that were closed at start are opened on /dev/null, so that no file the program
// opens later takes their place (and gets the transcript written into it or read as commands).
void ensureStandardStreams();

}  // namespace qm
