#include "radio/emergency_release.h"

#include <gpiod.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <vector>

#include "radio/lines.h"

namespace qm::radio {
namespace {

// A slot is free, being filled, or in use; the handler reads only slots in use.
enum SlotState : int { kFree = 0, kFilling = 1, kInUse = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  EmergencyRelease release;
};

std::array<Slot, 32> slots;

void perform(const EmergencyRelease& release) noexcept {
  switch (release.kind) {
    case EmergencyRelease::Kind::Write: {
      const ssize_t written = ::write(release.fd, release.bytes, release.length);
      (void)written;
      if (release.drainFd >= 0) waitUntilPtyRead(release.drainFd);
      break;
    }
    case EmergencyRelease::Kind::Ioctl: {
      int bits = release.bits;
      ::ioctl(release.fd, release.request, &bits);
      break;
    }
    case EmergencyRelease::Kind::Gpio:
      // libgpiod v1 sets a requested line with one ioctl on a buffer on the stack: no allocation, no lock.
      gpiod_line_set_value(release.line, release.value);
      break;
  }
}

std::terminate_handler previousTerminate = nullptr;

void terminateReleasing() {
  releaseAllPttLinesNow();
  if (previousTerminate != nullptr) previousTerminate();
  std::abort();
}

struct sigaction previousAction[NSIG];

// A fault of the processor comes back when the faulting instruction runs again; every other signal must be raised
// again to have its effect.
bool recurs(int signal, const siginfo_t* info) {
  const bool fault = signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
  return fault && info != nullptr && info->si_code > 0;
}

void fatalSignal(int signal, siginfo_t* info, void*) {
  releaseAllPttLinesNow();
  // Whatever handled the signal before (the default, a sanitizer's report) handles it now.
  sigaction(signal, &previousAction[signal], nullptr);
  if (!recurs(signal, info)) ::raise(signal);
}

// A stop from the terminal (Ctrl-Z, or a background read or write of it) pauses the process for as long as nobody
// continues it: the transmitter is released first. After SIGCONT the line stays released until the node next keys.
void stopSignal(int) {
  const int saved = errno;
  releaseAllPttLinesNow();
  ::raise(SIGSTOP);
  errno = saved;
}

}  // namespace

void waitUntilPtyRead(int slaveFd) noexcept {
  // The kernel passes written bytes on to the far side from a work queue; polling the far side runs that work at
  // once, so "not readable" means every byte written has been read.
  const timespec step{0, 2'000'000};
  for (int i = 0; i < 500; ++i) {
    pollfd far{slaveFd, POLLIN, 0};
    if (::poll(&far, 1, 0) <= 0 || (far.revents & POLLIN) == 0) return;
    ::nanosleep(&step, nullptr);
  }
}

int registerEmergencyRelease(const EmergencyRelease& release) noexcept {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    int expected = kFree;
    if (slots[i].state.compare_exchange_strong(expected, kFilling)) {
      slots[i].release = release;
      slots[i].state.store(kInUse, std::memory_order_release);
      return static_cast<int>(i);
    }
  }
  return -1;
}

void unregisterEmergencyRelease(int slot) noexcept {
  if (slot >= 0 && static_cast<std::size_t>(slot) < slots.size()) slots[slot].state.store(kFree);
}

void releaseAllPttLinesNow() noexcept {
  for (Slot& slot : slots) {
    if (slot.state.load(std::memory_order_acquire) == kInUse) perform(slot.release);
  }
}

void installEmergencyRelease() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_sigaction = fatalSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO;
  for (int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) sigaction(signal, &action, &previousAction[signal]);
  // Every other signal whose default action ends the process, unless whoever started the program ignores it (nohup's
  // SIGHUP stays ignored). SIGTERM, SIGINT and SIGHUP are taken over later by the program's stop watch; SIGKILL and
  // SIGSTOP cannot be caught: after SIGKILL the service's ExecStopPost runs --release-ptt.
  std::vector<int> ending = {SIGTERM, SIGINT,    SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                             SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,  SIGTRAP, SIGIO,   SIGPWR,  SIGSTKFLT};
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) ending.push_back(signal);
  for (int signal : ending) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler != SIG_DFL) continue;
    sigaction(signal, &action, &previousAction[signal]);
  }
  struct sigaction pause {};
  pause.sa_handler = stopSignal;
  sigemptyset(&pause.sa_mask);
  pause.sa_flags = SA_RESTART;
  for (int signal : {SIGTSTP, SIGTTIN, SIGTTOU}) {
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler != SIG_DFL) continue;
    sigaction(signal, &pause, nullptr);
  }
  previousTerminate = std::set_terminate(terminateReleasing);
}

}  // namespace qm::radio
