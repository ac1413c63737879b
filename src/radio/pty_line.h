#pragma once
// A pseudo-terminal with a symlink to its far side at a path of the user's choice, as SvxLink's PTY lines: another
// program opens the symlink and talks to the node with single characters. The node keeps the far side open itself,
// so the line survives the other program closing and opening it again.
#include <filesystem>
#include <string>

#include "radio/device_lock.h"

namespace qm::radio {

class PtyEnd {
 public:
  PtyEnd() = default;
  PtyEnd(const PtyEnd&) = delete;
  PtyEnd& operator=(const PtyEnd&) = delete;
  ~PtyEnd();

  // Creates the pseudo-terminal (raw, non-blocking) and the symlink at `link`, replacing a stale symlink; refuses
  // to replace anything that is not a symlink, or a link another program holds (a lock file beside it, LINK.lock).
  // False with `error` saying why.
  bool open(const std::filesystem::path& link, std::string& error);
  int fd() const { return master_; }
  int farSide() const { return slave_; }
  const std::string& slaveName() const { return slaveName_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slaveName_;
  std::filesystem::path link_;
  PathLock lock_;  // released last, after the symlink is gone
};

}  // namespace qm::radio
