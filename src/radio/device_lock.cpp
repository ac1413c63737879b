#include "radio/device_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace qm::radio {
namespace {

constexpr const char* kLockFolder = "/run/lock";

std::string errnoText() {
  return std::strerror(errno);
}

// The process a UUCP lock file names (ten ASCII digits, or the old binary form), 0 when it names none.
pid_t lockHolder(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  char text[32] = {};
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (got == static_cast<ssize_t>(sizeof(int))) {
    int binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    return binary > 0 ? binary : 0;
  }
  long pid = 0;
  if (got <= 0 || std::sscanf(text, "%ld", &pid) != 1 || pid <= 0 || pid > 0x3fffffff) return 0;
  return static_cast<pid_t>(pid);
}

bool alive(pid_t pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Takes the UUCP lock of a device under /dev (LCK..ttyUSB0, LCK..serial_by-id_x): "" with `file` empty when locks
// cannot be kept here (no /run/lock we may write), `file` set when taken; else why not.
std::string takeUucpLock(const std::string& path, std::string& file) {
  file.clear();
  char real[PATH_MAX];
  if (::realpath(path.c_str(), real) == nullptr) return "";
  std::string name = real;
  if (name.rfind("/dev/", 0) != 0) return "";
  name = name.substr(5);
  for (char& c : name)
    if (c == '/') c = '_';
  if (::access(kLockFolder, W_OK) != 0) return "";
  const std::string lockFile = std::string(kLockFolder) + "/LCK.." + name;
  std::string temporary = std::string(kLockFolder) + "/LCK.XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return "";
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
  const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
  ::fchmod(fd, 0644);
  ::close(fd);
  std::string why;
  for (int attempt = 0; written && attempt < 2; ++attempt) {
    if (::link(temporary.c_str(), lockFile.c_str()) == 0) {
      file = lockFile;
      break;
    }
    if (errno != EEXIST) break;
    const pid_t holder = lockHolder(lockFile);
    if (alive(holder)) {
      why = "another program holds it (process " + std::to_string(holder) + ", " + lockFile + ")";
      break;
    }
    ::unlink(lockFile.c_str());  // left by a program that has ended
  }
  ::unlink(temporary.c_str());
  return why;
}

void dropUucpLock(const std::string& file) {
  if (!file.empty() && lockHolder(file) == ::getpid()) ::unlink(file.c_str());
}

std::mutex claimsLock;
std::map<std::pair<dev_t, ino_t>, std::weak_ptr<DeviceClaim>> claims;

}  // namespace

DeviceClaim::~DeviceClaim() {
  if (exclusive_) ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  dropUucpLock(uucpLock_);
}

std::shared_ptr<DeviceClaim> claimDevice(const std::string& path, DeviceKind kind, std::string& why) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    why = errnoText();
    return nullptr;
  }
  const auto key = std::make_pair(status.st_dev, status.st_ino);
  std::lock_guard guard(claimsLock);
  if (auto held = claims[key].lock()) return held;
  std::string uucpLock;
  if (kind == DeviceKind::SerialPort) {
    why = takeUucpLock(path, uucpLock);
    if (!why.empty()) return nullptr;
  }
  // A port is driven through this descriptor; a fob's lines open their own (the lock holds with any access mode).
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == EACCES && kind == DeviceKind::Hidraw)
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A port opened with TIOCEXCL by another program refuses everyone else with EBUSY.
    why = errno == EBUSY ? "another program holds it (" + errnoText() + ")" : errnoText();
    dropUucpLock(uucpLock);
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    why = errno == EWOULDBLOCK ? "another program holds it (it is locked)" : "cannot lock it: " + errnoText();
    ::close(fd);
    dropUucpLock(uucpLock);
    return nullptr;
  }
  if (kind == DeviceKind::SerialPort) ::ioctl(fd, TIOCEXCL);  // where the device takes it: nobody else opens it
  auto claim = std::make_shared<DeviceClaim>(fd, kind == DeviceKind::SerialPort, uucpLock);
  claims[key] = claim;
  return claim;
}

PathLock::~PathLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool PathLock::lock(const std::string& path, std::string& why) {
  const std::string file = path + ".lock";
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = "cannot make the lock file " + file + ": " + errnoText();
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    why = errno == EWOULDBLOCK ? "another program holds this line (" + file + " is locked)"
                               : "cannot lock " + file + ": " + errnoText();
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

}  // namespace qm::radio
