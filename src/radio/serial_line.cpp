// PTT on a serial port's RTS or DTR, squelch on its DCD, CTS, DSR or RI: the modem lines, set with TIOCMBIS and
// TIOCMBIC and read with TIOCMGET. Nothing is sent or received on the port itself.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <utility>

#include "radio/device_inventory.h"
#include "radio/device_lock.h"
#include "radio/emergency_release.h"
#include "radio/line_device.h"
#include "radio/line_driver.h"

namespace qm::radio {
namespace {

int modemBit(const std::string& pin) {
  if (pin == "RTS") return TIOCM_RTS;
  if (pin == "DTR") return TIOCM_DTR;
  if (pin == "DCD") return TIOCM_CAR;
  if (pin == "CTS") return TIOCM_CTS;
  if (pin == "DSR") return TIOCM_DSR;
  return TIOCM_RNG;
}

// Opens and locks the port (or shares the claim the program already holds on it) and checks it has modem lines; null
// with `error` naming what failed and the ports that exist.
std::shared_ptr<DeviceClaim> openPort(const LineSpec& wiring, std::string& error) {
  const std::string path = devicePath(wiring.device);
  std::string why;
  auto port = claimDevice(path, DeviceKind::SerialPort, why);
  if (!port) {
    error = "\"" + wiring.text + "\": cannot open " + path + ": " + why + "; " + describeSerialPorts(listSerialPorts());
    return nullptr;
  }
  int bits = 0;
  if (::ioctl(port->fd(), TIOCMGET, &bits) != 0) {
    error = "\"" + wiring.text + "\": " + path + " is no serial port with modem lines (" + lastError() + "); " +
            describeSerialPorts(listSerialPorts());
    return nullptr;
  }
  return port;
}

class SerialPttLine final : public PttLine {
 public:
  SerialPttLine(std::shared_ptr<DeviceClaim> port, int bit, bool inverted)
      : port_(std::move(port)), fd_(port_->fd()), bit_(bit), inverted_(inverted) {
    EmergencyRelease release;
    release.kind = EmergencyRelease::Kind::Ioctl;
    release.fd = fd_;
    release.request = inverted_ ? TIOCMBIS : TIOCMBIC;
    release.bits = bit_;
    slot_ = registerEmergencyRelease(release);
  }
  ~SerialPttLine() override {
    unregisterEmergencyRelease(slot_);
    std::string ignored;
    key(false, ignored);
  }

  bool key(bool on, std::string& error) override {
    int bit = bit_;
    if (::ioctl(fd_, on != inverted_ ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
      error = "cannot switch the serial port's PTT pin: " + lastError();
      return false;
    }
    keyed_ = on;
    return true;
  }
  bool keyed() const override { return keyed_; }

 private:
  std::shared_ptr<DeviceClaim> port_;
  int fd_;
  int bit_;
  bool inverted_;
  bool keyed_ = false;
  int slot_ = -1;
};

class SerialSquelchLine final : public SquelchLine {
 public:
  SerialSquelchLine(std::shared_ptr<DeviceClaim> port, int bit, bool inverted)
      : port_(std::move(port)), fd_(port_->fd()), bit_(bit), inverted_(inverted) {}
  int fd() const override { return -1; }  // modem lines give no readiness; waiting on them needs a thread
  std::optional<bool> carrier(std::string& error) override {
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
      error = "cannot read the serial port's squelch pin: " + lastError();
      return std::nullopt;
    }
    return ((bits & bit_) != 0) != inverted_;
  }

 private:
  std::shared_ptr<DeviceClaim> port_;
  int fd_;
  int bit_;
  bool inverted_;
};

std::unique_ptr<PttLine> openSerialPttLine(const LineSpec& wiring, std::string& error) {
  auto port = openPort(wiring, error);
  if (!port) return nullptr;
  const int fd = port->fd();
  if (wiring.inverted) {
    // Closing a port drops RTS and DTR (HUPCL): for an inverted pin that would key the transmitter when the
    // program ends, so the port keeps its lines as they are.
    termios mode{};
    if (::tcgetattr(fd, &mode) == 0) {
      mode.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
      ::tcsetattr(fd, TCSANOW, &mode);
    }
  }
  // Opening a port raises RTS and DTR by itself: release at once.
  auto line = std::make_unique<SerialPttLine>(std::move(port), modemBit(wiring.pin), wiring.inverted);
  if (!line->key(false, error)) {
    error = "\"" + wiring.text + "\": " + error;
    return nullptr;
  }
  return line;
}

std::string probeSerialLine(const LineSpec& wiring, const DeviceInventory& inventory) {
  const std::string path = devicePath(wiring.device);
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return "cannot find " + path + " (" + lastError() + "); " + describeSerialPorts(inventory.serialPorts);
  if (!S_ISCHR(status.st_mode)) return path + " is no device; " + describeSerialPorts(inventory.serialPorts);
  if (::access(path.c_str(), R_OK | W_OK) != 0)
    return "no permission to use " + path + " (" + lastError() + "; the dialout group has it)";
  return "";
}

std::unique_ptr<SquelchLine> openSerialSquelchLine(const LineSpec& wiring, std::string& error) {
  auto port = openPort(wiring, error);
  if (!port) return nullptr;
  return std::make_unique<SerialSquelchLine>(std::move(port), modemBit(wiring.pin), wiring.inverted);
}

}  // namespace

const LineDriver kSerialLine{openSerialPttLine, openSerialSquelchLine, probeSerialLine};

}  // namespace qm::radio
