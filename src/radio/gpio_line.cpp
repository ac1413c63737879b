// A GPIO line through libgpiod (v1): PTT requested as an output whose first value is the released one, so asking
// for the line never keys the transmitter; squelch requested for both edges, whose event descriptor wakes the node.
// Inversion is ours (the values written are the pin's physical levels).
#include <gpiod.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "radio/device_inventory.h"
#include "radio/emergency_release.h"
#include "radio/line_device.h"
#include "radio/line_driver.h"

namespace qm::radio {
namespace {

constexpr const char* kConsumer = "quillmere";

std::string chipPath(const std::string& chip) {
  const bool number =
      !chip.empty() && std::all_of(chip.begin(), chip.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
  return number ? "/dev/gpiochip" + chip : devicePath(chip);
}

struct OpenedLine {
  gpiod_chip* chip = nullptr;
  gpiod_line* line = nullptr;
};

// Opens the chip and finds the line by offset or name; nothing, with `error`, naming what failed and what exists.
OpenedLine findLine(const LineSpec& wiring, std::string& error) {
  const std::string path = chipPath(wiring.device);
  OpenedLine opened;
  opened.chip = gpiod_chip_open(path.c_str());
  if (opened.chip == nullptr) {
    error =
        "\"" + wiring.text + "\": cannot open " + path + ": " + lastError() + "; " + describeGpioChips(listGpioChips());
    return {};
  }
  const std::string& name = wiring.pin;
  const bool offset =
      name.size() < 10 && std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
  const unsigned lines = gpiod_chip_num_lines(opened.chip);
  if (offset) {
    const unsigned long number = std::stoul(name);
    if (number < lines) opened.line = gpiod_chip_get_line(opened.chip, static_cast<unsigned>(number));
  } else {
    opened.line = gpiod_chip_find_line(opened.chip, name.c_str());
  }
  if (opened.line == nullptr) {
    error = "\"" + wiring.text + "\": " + path + " (\"" + gpiod_chip_label(opened.chip) + "\", lines 0.." +
            std::to_string(lines == 0 ? 0 : lines - 1) + ") has no line " + (offset ? "" : "named ") + name;
    gpiod_chip_close(opened.chip);
    return {};
  }
  if (gpiod_line_is_used(opened.line)) {
    const char* user = gpiod_line_consumer(opened.line);
    error = "\"" + wiring.text + "\": line " + name + " of " + path + " is already in use by " +
            (user != nullptr && *user != 0 ? std::string(user) : std::string("the kernel or another program"));
    gpiod_chip_close(opened.chip);
    return {};
  }
  return opened;
}

class GpioPttLine final : public PttLine {
 public:
  GpioPttLine(OpenedLine opened, bool inverted) : opened_(opened), inverted_(inverted) {
    EmergencyRelease release;
    release.kind = EmergencyRelease::Kind::Gpio;
    release.line = opened_.line;
    release.value = inverted_ ? 1 : 0;
    slot_ = registerEmergencyRelease(release);
  }
  ~GpioPttLine() override {
    unregisterEmergencyRelease(slot_);
    std::string ignored;
    key(false, ignored);
    gpiod_line_release(opened_.line);
    gpiod_chip_close(opened_.chip);
  }

  bool key(bool on, std::string& error) override {
    if (gpiod_line_set_value(opened_.line, on != inverted_ ? 1 : 0) != 0) {
      error = "cannot set the GPIO PTT line: " + lastError();
      return false;
    }
    keyed_ = on;
    return true;
  }
  bool keyed() const override { return keyed_; }

 private:
  OpenedLine opened_;
  bool inverted_;
  bool keyed_ = false;
  int slot_ = -1;
};

class GpioSquelchLine final : public SquelchLine {
 public:
  GpioSquelchLine(OpenedLine opened, bool inverted) : opened_(opened), inverted_(inverted) {}
  ~GpioSquelchLine() override {
    gpiod_line_release(opened_.line);
    gpiod_chip_close(opened_.chip);
  }
  int fd() const override { return gpiod_line_event_get_fd(opened_.line); }
  std::optional<bool> carrier(std::string& error) override {
    // The events only say that something changed: take them all, then read the level.
    const timespec none{0, 0};
    gpiod_line_event event{};
    while (gpiod_line_event_wait(opened_.line, &none) == 1) {
      if (gpiod_line_event_read(opened_.line, &event) != 0) break;
    }
    const int value = gpiod_line_get_value(opened_.line);
    if (value < 0) {
      error = "cannot read the GPIO squelch line: " + lastError();
      return std::nullopt;
    }
    return (value == 1) != inverted_;
  }

 private:
  OpenedLine opened_;
  bool inverted_;
};

std::string probeGpioLine(const LineSpec& wiring, const DeviceInventory&) {
  std::string error;
  OpenedLine opened = findLine(wiring, error);
  if (opened.line == nullptr) {
    // A running node of ours holds its own line: that is no fault of the settings.
    const std::string ours = std::string("in use by ") + kConsumer;
    if (error.size() >= ours.size() && error.compare(error.size() - ours.size(), ours.size(), ours) == 0) return "";
    const std::string prefix = "\"" + wiring.text + "\": ";
    return error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error;
  }
  gpiod_chip_close(opened.chip);
  return "";
}

std::unique_ptr<PttLine> openGpioPttLine(const LineSpec& wiring, std::string& error) {
  OpenedLine opened = findLine(wiring, error);
  if (opened.line == nullptr) return nullptr;
  if (gpiod_line_request_output(opened.line, kConsumer, wiring.inverted ? 1 : 0) != 0) {
    error = "\"" + wiring.text + "\": cannot take line " + wiring.pin + " as an output: " + lastError();
    gpiod_chip_close(opened.chip);
    return nullptr;
  }
  return std::make_unique<GpioPttLine>(opened, wiring.inverted);
}

std::unique_ptr<SquelchLine> openGpioSquelchLine(const LineSpec& wiring, std::string& error) {
  OpenedLine opened = findLine(wiring, error);
  if (opened.line == nullptr) return nullptr;
  if (gpiod_line_request_both_edges_events(opened.line, kConsumer) != 0) {
    error = "\"" + wiring.text + "\": cannot take line " + wiring.pin + " as an input with edge events: " + lastError();
    gpiod_chip_close(opened.chip);
    return nullptr;
  }
  return std::make_unique<GpioSquelchLine>(opened, wiring.inverted);
}

}  // namespace

const LineDriver kGpioLine{openGpioPttLine, openGpioSquelchLine, probeGpioLine};

}  // namespace qm::radio
