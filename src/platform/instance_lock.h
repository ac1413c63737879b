#pragma once
// The knowledge whether another copy of the program runs: an exclusive lock on a file, held for the process's life.
#include <filesystem>

namespace qm {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another copy holds the lock; otherwise this copy takes it.
  virtual bool anotherCopyRunning() = 0;
};

class FileInstanceLock : public InstanceLock {
 public:
  explicit FileInstanceLock(std::filesystem::path path) : path_(std::move(path)) {}
  ~FileInstanceLock() override;
  bool anotherCopyRunning() override;
  // $XDG_RUNTIME_DIR/quillmere.lock, or the program folder's when there is no runtime folder.
  static std::filesystem::path defaultPath(const std::filesystem::path& home);

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

// A lock of the scenario's own: taken unless the scenario said another copy runs.
class FixedInstanceLock : public InstanceLock {
 public:
  explicit FixedInstanceLock(bool otherRunning) : otherRunning_(otherRunning) {}
  bool anotherCopyRunning() override { return otherRunning_; }

 private:
  bool otherRunning_;
};

}  // namespace qm
