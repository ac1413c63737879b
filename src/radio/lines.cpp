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

std::string probeLine(const LineSpec& spec, const DeviceInventory& inventory) {
  if (spec.kind == "serial") return probeSerialLine(spec, inventory);
  if (spec.kind == "cm108") return probeCm108Line(spec, inventory);
  if (spec.kind == "gpio") return probeGpioLine(spec);
  if (spec.kind == "pty") return probePtyLine(spec);
  return "";
}

std::unique_ptr<PttLine> openPttLine(const LineSpec& spec, std::string& error) {
  if (spec.kind == "pty") return openPtyPttLine(spec, error);
  if (spec.kind == "none") return std::make_unique<NonePttLine>();
  if (spec.kind == "serial") return openSerialPttLine(spec, error);
  if (spec.kind == "cm108") return openCm108PttLine(spec, error);
  if (spec.kind == "gpio") return openGpioPttLine(spec, error);
  error = "\"" + spec.text + "\" names no line: parse it with parseLineSpec first";
  return nullptr;
}

std::unique_ptr<SquelchLine> openSquelchLine(const LineSpec& spec, std::string& error) {
  if (spec.kind == "pty") return openPtySquelchLine(spec, error);
  if (spec.kind == "vox") {
    error = "Squelch=vox is carrier detect from the receive audio, not a line";
    return nullptr;
  }
  if (spec.kind == "serial") return openSerialSquelchLine(spec, error);
  if (spec.kind == "cm108") return openCm108SquelchLine(spec, error);
  if (spec.kind == "gpio") return openGpioSquelchLine(spec, error);
  error = "\"" + spec.text + "\" names no line: parse it with parseLineSpec first";
  return nullptr;
}

}  // namespace qm::radio
