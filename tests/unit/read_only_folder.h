#pragma once
// Makes a folder refuse new files, for tests of failed saves: by its mode, or for root (who ignores permissions) by
// the immutable flag. False when the file system cannot do it.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace qm {

inline bool setReadOnly(const std::filesystem::path& dir, bool on) {
  if (geteuid() != 0) return chmod(dir.c_str(), on ? 0555 : 0755) == 0;
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
  ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  close(fd);
  return ok;
}

}  // namespace qm
