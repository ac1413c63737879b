#pragma once
// Two programs never drive one transmitter, whoever runs them: a line's device is held exclusively while it is open.
//   - serial ports: a UUCP lock in /run/lock (LCK..ttyUSB0, taken before the port is opened, since opening a port
//     raises RTS and DTR), flock and TIOCEXCL on the descriptor;
//   - hidraw (CM108): flock on the descriptor;
//   - pty lines: flock on a lock file beside the symlink (PATH.lock), taken before the symlink is touched;
//   - GPIO lines need nothing: the kernel gives a requested line to one holder only.
// Within the program the PTT and squelch lines may share a device (RTS and CTS of one port, GPIO3 and VOL_DN of one
// fob): both use one claim.
#include <memory>
#include <string>

namespace qm::radio {

// An open, locked device; closed and unlocked when the last line using it goes.
class DeviceClaim {
 public:
  DeviceClaim(int fd, bool exclusive, std::string uucpLock)
      : fd_(fd), exclusive_(exclusive), uucpLock_(std::move(uucpLock)) {}
  ~DeviceClaim();
  DeviceClaim(const DeviceClaim&) = delete;
  DeviceClaim& operator=(const DeviceClaim&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
  bool exclusive_;        // TIOCEXCL was set on it
  std::string uucpLock_;  // the UUCP lock file this claim made, if any
};

enum class DeviceKind { SerialPort, Hidraw };

// Opens `path` (non-blocking; a port read-write) and locks it; the claim this program already holds on the same
// device when there is one. Null with `why` saying what failed ("another program holds it ..." when it is taken).
std::shared_ptr<DeviceClaim> claimDevice(const std::string& path, DeviceKind kind, std::string& why);

// An exclusive lock on the file `path` + ".lock" (made when missing, never removed: removing it could let two
// holders in), held while the object lives.
class PathLock {
 public:
  PathLock() = default;
  ~PathLock();
  PathLock(const PathLock&) = delete;
  PathLock& operator=(const PathLock&) = delete;
  // False with `why` when the lock file cannot be made or another program holds it.
  bool lock(const std::string& path, std::string& why);

 private:
  int fd_ = -1;
};

}  // namespace qm::radio
