#pragma once
// Stop requests from outside as calls on the program's thread: SIGTERM (a service manager's stop), SIGINT (Ctrl-C)
// and SIGHUP (the terminal gone; SIGINT and SIGHUP stay ignored when the program was started with them ignored, as
// nohup does) are written by their handler into a pipe that Qt's event loop watches, so what they
// do runs between the program's handlers, never inside one. Whoever owns the watch says what a stop does (the node
// closing: the transmitter is released, the transcript ends with the program's exit). SIGPIPE is ignored everywhere,
// so a reader of standard output that goes away never ends the program.
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qm {

class SignalWatch : public QObject {
 public:
  // `onStop` runs on the event loop's thread with the signal's number. When it returns and the program still runs,
  // the event loop is left: a stop is never ignored.
  explicit SignalWatch(std::function<void(int)> onStop);
  ~SignalWatch() override;
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

 private:
  void readPipe();

  std::function<void(int)> onStop_;
  int pipe_[2] = {-1, -1};
  std::vector<int> watched_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

// True once a stop signal has come, before its call has run: a hold of the program's thread ends early on it.
bool stopRequested();
// Marks a stop signal as come, for one caught elsewhere (the radio node catches them on its own thread), so that the
// program's thread stops holding and takes the closing at once. Any thread.
void noteStopRequested();

// SIGPIPE is ignored: a write to a closed pipe fails with EPIPE instead, and the writer says so.
void ignoreBrokenPipe();
// "SIGTERM", "SIGINT", "SIGHUP" or "signal N".
std::string signalName(int signal);

}  // namespace qm
