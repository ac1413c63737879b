#pragma once
// Every open PTT line keeps here a raw way to release it that needs no allocation and no lock, so that a fatal
// signal handler can release the transmitter before the process dies.
#include <cstddef>

struct gpiod_line;

namespace qm::radio {

struct EmergencyRelease {
  enum class Kind { Write, Ioctl, Gpio };
  Kind kind = Kind::Write;
  int fd = -1;
  unsigned long request = 0;    // Ioctl: TIOCMBIS or TIOCMBIC
  int bits = 0;                 // Ioctl: the modem bits
  unsigned char bytes[8] = {};  // Write: what releases the line
  std::size_t length = 0;
  int drainFd = -1;            // Write: a pty's own far side, to let the reader take the bytes before the process goes
  gpiod_line* line = nullptr;  // Gpio: a requested output line
  int value = 0;               // Gpio: its released value
};

// A slot number for unregisterEmergencyRelease, or -1 when every slot is taken (the line still works; only a
// crash could then leave it keyed).
int registerEmergencyRelease(const EmergencyRelease& release) noexcept;
void unregisterEmergencyRelease(int slot) noexcept;

// Waits (at most about a second, for a reader on a loaded machine) until what was written to a pseudo-terminal has been
// read from its far side `slaveFd`: the kernel throws away what is still unread when the pseudo-terminal closes.
// Async-signal-safe.
void waitUntilPtyRead(int slaveFd) noexcept;

}  // namespace qm::radio
