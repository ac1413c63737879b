#include "radio/pty_line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

#include "radio/emergency_release.h"
#include "radio/line_device.h"
#include "radio/line_driver.h"

namespace qm::radio {

PtyEnd::~PtyEnd() {
  // The symlink goes with the line, unless someone has put something else there since.
  std::error_code ec;
  if (!link_.empty() && std::filesystem::is_symlink(std::filesystem::symlink_status(link_, ec)) &&
      std::filesystem::read_symlink(link_, ec) == slaveName_) {
    std::filesystem::remove(link_, ec);
  }
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
}

bool PtyEnd::open(const std::filesystem::path& link, std::string& error) {
  const auto fail = [&](const std::string& what) {
    error = "pty:" + link.string() + ": " + what + ": " + std::strerror(errno);
    return false;
  };
  // Before anything is replaced: a symlink another program's line holds is never taken over.
  std::string why;
  if (!lock_.lock(link.string(), why)) {
    error = "pty:" + link.string() + ": " + why;
    return false;
  }
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return fail("cannot create a pseudo-terminal");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("cannot unlock the pseudo-terminal");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("cannot name the pseudo-terminal");
  slaveName_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave_ < 0) return fail("cannot open " + slaveName_);
  // Raw both ways: single characters pass at once, nothing is echoed back or turned into line ends.
  termios mode{};
  if (::tcgetattr(slave_, &mode) == 0) {
    ::cfmakeraw(&mode);
    ::tcsetattr(slave_, TCSANOW, &mode);
  }
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(link, ec);
  if (std::filesystem::exists(status) || std::filesystem::is_symlink(status)) {
    if (!std::filesystem::is_symlink(status)) {
      error = "pty:" + link.string() + ": something that is not a symlink is already there; it is left alone";
      return false;
    }
    std::filesystem::remove(link, ec);  // a stale symlink, from an earlier run
  }
  std::filesystem::create_symlink(slaveName_, link, ec);
  if (ec) {
    error = "pty:" + link.string() + ": cannot make the symlink to " + slaveName_ + ": " + ec.message();
    return false;
  }
  link_ = link;
  return true;
}

namespace {

class PtyPttLine final : public PttLine {
 public:
  explicit PtyPttLine(bool inverted) : inverted_(inverted) {}
  ~PtyPttLine() override {
    unregisterEmergencyRelease(slot_);
    std::string ignored;
    key(false, ignored);
    waitUntilPtyRead(end_.farSide());
  }

  bool open(const LineSpec& wiring, std::string& error) {
    if (!end_.open(wiring.device, error)) return false;
    EmergencyRelease release;
    release.kind = EmergencyRelease::Kind::Write;
    release.fd = end_.fd();
    release.bytes[0] = static_cast<unsigned char>(inverted_ ? 'T' : 'R');
    release.length = 1;
    release.drainFd = end_.farSide();
    slot_ = registerEmergencyRelease(release);
    return true;
  }

  bool key(bool on, std::string& error) override {
    const char byte = (on != inverted_) ? 'T' : 'R';
    if (::write(end_.fd(), &byte, 1) != 1) {
      // A full buffer only means nobody reads the far side; the state still changed for whoever comes.
      if (errno != EAGAIN) {
        error = "cannot write to the PTT pseudo-terminal " + end_.slaveName() + ": " + std::strerror(errno);
        return false;
      }
    }
    keyed_ = on;
    return true;
  }
  bool keyed() const override { return keyed_; }

 private:
  bool inverted_;
  bool keyed_ = false;
  int slot_ = -1;
  PtyEnd end_;
};

class PtySquelchLine final : public SquelchLine {
 public:
  explicit PtySquelchLine(bool inverted) : inverted_(inverted) {}
  bool open(const LineSpec& wiring, std::string& error) { return end_.open(wiring.device, error); }
  int fd() const override { return end_.fd(); }
  std::optional<bool> carrier(std::string& error) override {
    char buffer[256];
    for (;;) {
      const ssize_t got = ::read(end_.fd(), buffer, sizeof buffer);
      if (got > 0) {
        // The last O or Z read is the state; anything else on the line is not ours to judge.
        for (ssize_t i = 0; i < got; ++i) {
          if (buffer[i] == 'O') open_ = true;
          if (buffer[i] == 'Z') open_ = false;
        }
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno != EAGAIN && errno != EIO) {
        error = "cannot read the squelch pseudo-terminal " + end_.slaveName() + ": " + std::strerror(errno);
        return std::nullopt;
      }
      break;
    }
    return open_ != inverted_;
  }

 private:
  bool inverted_;
  bool open_ = false;
  PtyEnd end_;
};

std::string probePtyLine(const LineSpec& wiring, const DeviceInventory&) {
  const std::filesystem::path link(wiring.device);
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(link, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status))
    return link.string() + " is already there and is not a symlink";
  const std::filesystem::path folder = link.parent_path().empty() ? "." : link.parent_path();
  if (!std::filesystem::is_directory(folder, ec)) return "there is no folder " + folder.string() + " for the symlink";
  if (::access(folder.c_str(), W_OK) != 0)
    return "the symlink cannot be made in " + folder.string() + " (" + lastError() + ")";
  return "";
}

std::unique_ptr<PttLine> openPtyPttLine(const LineSpec& wiring, std::string& error) {
  auto line = std::make_unique<PtyPttLine>(wiring.inverted);
  if (!line->open(wiring, error)) return nullptr;
  return line;
}

std::unique_ptr<SquelchLine> openPtySquelchLine(const LineSpec& wiring, std::string& error) {
  auto line = std::make_unique<PtySquelchLine>(wiring.inverted);
  if (!line->open(wiring, error)) return nullptr;
  return line;
}

}  // namespace

const LineDriver kPtyLine{openPtyPttLine, openPtySquelchLine, probePtyLine};

}  // namespace qm::radio
