// A CM108/CM119 sound interface over hidraw. PTT on GPIO1..4: a 5-byte output report (report number 0, then 0, the
// GPIO data bits, the GPIO direction mask, 0) sets the pin as an output and drives it. Squelch on the chip's button
// inputs: byte 0 of each input report carries VOL_UP (bit 0), VOL_DN (1), MUTE_PLAY (2) and MUTE_REC (3).
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

#include "radio/device_inventory.h"
#include "radio/device_lock.h"
#include "radio/emergency_release.h"
#include "radio/line_device.h"
#include "radio/line_driver.h"

namespace qm::radio {
namespace {

unsigned char pinMask(const std::string& pin) {
  if (pin == "GPIO1" || pin == "VOL_UP") return 0x01;
  if (pin == "GPIO2" || pin == "VOL_DN") return 0x02;
  if (pin == "GPIO3" || pin == "MUTE_PLAY") return 0x04;
  return 0x08;  // GPIO4, MUTE_REC
}

std::string ids(unsigned vendor, unsigned product) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", vendor & 0xffff, product & 0xffff);
  return text;
}

// A line on a fob: its own descriptor (each reader of a hidraw device gets every input report), and the program's
// claim on the fob, shared by its lines, that keeps other programs out.
struct Fob {
  std::shared_ptr<DeviceClaim> claim;
  int fd = -1;
};

// Claims the hidraw device, opens it and checks, by its USB ids, that it is a CM108-family chip; fd -1 with `error`
// naming what failed and the hidraw devices that exist.
Fob openFob(const LineSpec& wiring, int flags, std::string& error) {
  const std::string path = devicePath(wiring.device);
  const auto fail = [&](const std::string& what) {
    error = "\"" + wiring.text + "\": " + what + "; " + describeHidraw(listHidraw());
    return Fob{};
  };
  std::string why;
  auto claim = claimDevice(path, DeviceKind::Hidraw, why);
  if (!claim) return fail("cannot open " + path + ": " + why);
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail("cannot open " + path + ": " + lastError());
  hidraw_devinfo info{};
  if (::ioctl(fd, HIDIOCGRAWINFO, &info) != 0) {
    const std::string why = lastError();
    ::close(fd);
    return fail(path + " is no hidraw device (" + why + ")");
  }
  const unsigned vendor = static_cast<unsigned short>(info.vendor);
  const unsigned product = static_cast<unsigned short>(info.product);
  if (cm108ChipName(vendor, product).empty()) {
    char name[128] = {};
    ::ioctl(fd, HIDIOCGRAWNAME(sizeof name - 1), name);
    ::close(fd);
    std::string what = path + " is " + ids(vendor, product);
    if (name[0] != 0) what.append(" ").append(name);
    return fail(what.append(", not a CM108/CM119 sound interface"));
  }
  return Fob{std::move(claim), fd};
}

class Cm108PttLine final : public PttLine {
 public:
  Cm108PttLine(Fob fob, unsigned char mask, bool inverted)
      : claim_(std::move(fob.claim)), fd_(fob.fd), mask_(mask), inverted_(inverted) {
    EmergencyRelease release;
    release.kind = EmergencyRelease::Kind::Write;
    release.fd = fd_;
    report(false, release.bytes);
    release.length = kReportSize;
    slot_ = registerEmergencyRelease(release);
  }
  ~Cm108PttLine() override {
    unregisterEmergencyRelease(slot_);
    std::string ignored;
    key(false, ignored);
    ::close(fd_);
  }

  bool key(bool on, std::string& error) override {
    unsigned char bytes[kReportSize];
    report(on, bytes);
    if (::write(fd_, bytes, kReportSize) != static_cast<ssize_t>(kReportSize)) {
      error = "the CM108 interface did not take the PTT report: " + lastError();
      return false;
    }
    keyed_ = on;
    return true;
  }
  bool keyed() const override { return keyed_; }

 private:
  static constexpr std::size_t kReportSize = 5;
  void report(bool on, unsigned char* bytes) const {
    bytes[0] = 0;
    bytes[1] = 0;
    bytes[2] = (on != inverted_) ? mask_ : 0;
    bytes[3] = mask_;
    bytes[4] = 0;
  }

  std::shared_ptr<DeviceClaim> claim_;
  int fd_;
  unsigned char mask_;
  bool inverted_;
  bool keyed_ = false;
  int slot_ = -1;
};

class Cm108SquelchLine final : public SquelchLine {
 public:
  Cm108SquelchLine(Fob fob, unsigned char mask, bool inverted)
      : claim_(std::move(fob.claim)), fd_(fob.fd), mask_(mask), inverted_(inverted) {
    // The chip reports only changes; ask for the present state where the kernel can (HIDIOCGINPUT).
    unsigned char bytes[8] = {};
    if (::ioctl(fd_, HIDIOCGINPUT(sizeof bytes), bytes) > 0) pressed_ = (bytes[1] & mask_) != 0;
  }
  ~Cm108SquelchLine() override { ::close(fd_); }
  int fd() const override { return fd_; }
  std::optional<bool> carrier(std::string& error) override {
    unsigned char bytes[16];
    for (;;) {
      const ssize_t got = ::read(fd_, bytes, sizeof bytes);
      if (got > 0) {
        pressed_ = (bytes[0] & mask_) != 0;
        continue;
      }
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno == EAGAIN) break;
      error = "cannot read the CM108 interface's squelch pin: " + (got == 0 ? std::string("it is gone") : lastError());
      return std::nullopt;
    }
    return pressed_ != inverted_;
  }

 private:
  std::shared_ptr<DeviceClaim> claim_;
  int fd_;
  unsigned char mask_;
  bool inverted_;
  bool pressed_ = false;
};

std::unique_ptr<PttLine> openCm108PttLine(const LineSpec& wiring, std::string& error) {
  Fob fob = openFob(wiring, O_WRONLY, error);
  if (fob.fd < 0) return nullptr;
  auto line = std::make_unique<Cm108PttLine>(std::move(fob), pinMask(wiring.pin), wiring.inverted);
  if (!line->key(false, error)) {
    error = "\"" + wiring.text + "\": " + error;
    return nullptr;
  }
  return line;
}

std::string probeCm108Line(const LineSpec& wiring, const DeviceInventory& inventory) {
  const std::string path = devicePath(wiring.device);
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return "cannot find " + path + " (" + lastError() + "); " + describeHidraw(inventory.hidraw);
  std::error_code ec;
  const auto real = std::filesystem::canonical(path, ec);
  for (const HidrawDevice& device : inventory.hidraw) {
    if (std::filesystem::canonical(device.path, ec) != real) continue;
    if (!device.cm108)
      return path + " is " + ids(device.vendor, device.product) + " " + device.name +
             ", not a CM108/CM119 sound interface; " + describeHidraw(inventory.hidraw);
  }
  if (::access(path.c_str(), R_OK | W_OK) != 0)
    return "no permission to use " + path + " (" + lastError() + "; a udev rule can give it to the node's group)";
  return "";
}

std::unique_ptr<SquelchLine> openCm108SquelchLine(const LineSpec& wiring, std::string& error) {
  Fob fob = openFob(wiring, O_RDONLY, error);
  if (fob.fd < 0) return nullptr;
  return std::make_unique<Cm108SquelchLine>(std::move(fob), pinMask(wiring.pin), wiring.inverted);
}

}  // namespace

const LineDriver kCm108Line{openCm108PttLine, openCm108SquelchLine, probeCm108Line};

}  // namespace qm::radio
