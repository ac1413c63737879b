#include "radio/lines.h"

#include <cerrno>
#include <cstring>

#include "radio/line_factories.h"

namespace qm::radio {
namespace {

// A radio that keys itself on its audio: nothing to switch, but the node still knows what it asked for.
class NonePttLine final : public PttLine {
 public:
  bool key(bool on, std::string&) override {
    keyed_ = on;
    return true;
  }
  bool keyed() const override { return keyed_; }

 private:
  bool keyed_ = false;
};

}  // namespace

std::string devicePath(const std::string& device) {
  return device.find('/') == std::string::npos ? "/dev/" + device : device;
}

std::string lastError() {
  return std::strerror(errno);
}

std::string probeLine(const LineSpec& wiring, const DeviceInventory& inventory) {
  if (wiring.kind == "serial") return probeSerialLine(wiring, inventory);
  if (wiring.kind == "cm108") return probeCm108Line(wiring, inventory);
  if (wiring.kind == "gpio") return probeGpioLine(wiring);
  if (wiring.kind == "pty") return probePtyLine(wiring);
  return "";
}

std::unique_ptr<PttLine> openPttLine(const LineSpec& wiring, std::string& error) {
  if (wiring.kind == "pty") return openPtyPttLine(wiring, error);
  if (wiring.kind == "none") return std::make_unique<NonePttLine>();
  if (wiring.kind == "serial") return openSerialPttLine(wiring, error);
  if (wiring.kind == "cm108") return openCm108PttLine(wiring, error);
  if (wiring.kind == "gpio") return openGpioPttLine(wiring, error);
  error = "\"" + wiring.text + "\" names no line: parse it with parseLineSpec first";
  return nullptr;
}

std::unique_ptr<SquelchLine> openSquelchLine(const LineSpec& wiring, std::string& error) {
  if (wiring.kind == "pty") return openPtySquelchLine(wiring, error);
  if (wiring.kind == "vox") {
    error = "Squelch=vox is carrier detect from the receive audio, not a line";
    return nullptr;
  }
  if (wiring.kind == "serial") return openSerialSquelchLine(wiring, error);
  if (wiring.kind == "cm108") return openCm108SquelchLine(wiring, error);
  if (wiring.kind == "gpio") return openGpioSquelchLine(wiring, error);
  error = "\"" + wiring.text + "\" names no line: parse it with parseLineSpec first";
  return nullptr;
}

}  // namespace qm::radio
