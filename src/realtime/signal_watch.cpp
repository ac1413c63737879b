#include "realtime/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <stdexcept>

#include "realtime/qt_scheduler.h"

namespace qm {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
int stopPipeWrite = -1;  // async-signal-safe writes go here
volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void onStopSignal(int signal) {
  int saved = errno;
  stopSignalled = 1;
  unsigned char byte = static_cast<unsigned char>(signal);
  if (stopPipeWrite >= 0) {
    ssize_t ignored = ::write(stopPipeWrite, &byte, 1);  // a full pipe already holds a stop
    (void)ignored;
  }
  errno = saved;
}

}  // namespace

SignalWatch::SignalWatch(std::function<void(int)> onStop) : onStop_(std::move(onStop)) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("cannot create the signal pipe");
  stopPipeWrite = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readPipe(); });
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : kStopSignals) {
    // A signal ignored by whoever started the program stays ignored (nohup's SIGHUP, a background job's SIGINT).
    struct sigaction before {};
    if (s != SIGTERM && sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(s, &sa, nullptr);
    watched_.push_back(s);
  }
}

SignalWatch::~SignalWatch() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int s : watched_) sigaction(s, &sa, nullptr);
  stopPipeWrite = -1;
  notifier_.reset();
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void SignalWatch::readPipe() {
  unsigned char byte = 0;
  if (::read(pipe_[0], &byte, 1) != 1) return;
  // The first stop is the one acted on; the program ends with it.
  notifier_->setEnabled(false);
  runGuarded(signalName(byte).c_str(), [&] { onStop_(byte); });
  QCoreApplication::exit(128 + byte);
}

bool stopRequested() {
  return stopSignalled != 0;
}

void noteStopRequested() {
  stopSignalled = 1;
}

void ignoreBrokenPipe() {
  std::signal(SIGPIPE, SIG_IGN);
}

std::string signalName(int signal) {
  switch (signal) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

}  // namespace qm
