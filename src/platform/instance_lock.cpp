#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace qm {

FileInstanceLock::~FileInstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileInstanceLock::anotherCopyRunning() {
  if (fd_ >= 0) return false;
  std::error_code ec;
  std::filesystem::create_directories(path_.parent_path(), ec);
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;  // no place for a lock: nothing can tell of another copy
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return true;
  }
  fd_ = fd;
  return false;
}

std::filesystem::path FileInstanceLock::defaultPath(const std::filesystem::path& home) {
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
    return std::filesystem::path(run) / "quillmere.lock";
  return home / "quillmere.lock";
}

}  // namespace qm
