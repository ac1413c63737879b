#include "radio/lines.h"

#include <map>
#include <string_view>

#include "radio/line_driver.h"

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

// The driver of each line type that has a device; the kinds without one (none, vox) are handled here.
const LineDriver* driverOf(const std::string& kind) {
  static const std::map<std::string_view, const LineDriver*> drivers{
      {"serial", &kSerialLine}, {"cm108", &kCm108Line}, {"gpio", &kGpioLine}, {"pty", &kPtyLine}};
  const auto found = drivers.find(kind);
  return found == drivers.end() ? nullptr : found->second;
}

std::string unparsed(const LineSpec& wiring) {
  return "\"" + wiring.text + "\" names no line: parse it with parseLineSpec first";
}

}  // namespace

std::string probeLine(const LineSpec& wiring, const DeviceInventory& inventory) {
  const LineDriver* driver = driverOf(wiring.kind);
  return driver == nullptr ? "" : driver->probe(wiring, inventory);
}

std::unique_ptr<PttLine> openPttLine(const LineSpec& wiring, std::string& error) {
  if (wiring.kind == "none") return std::make_unique<NonePttLine>();
  if (const LineDriver* driver = driverOf(wiring.kind)) return driver->openPtt(wiring, error);
  error = unparsed(wiring);
  return nullptr;
}

std::unique_ptr<SquelchLine> openSquelchLine(const LineSpec& wiring, std::string& error) {
  if (wiring.kind == "vox") {
    error = "Squelch=vox is carrier detect from the receive audio, not a line";
    return nullptr;
  }
  if (const LineDriver* driver = driverOf(wiring.kind)) return driver->openSquelch(wiring, error);
  error = unparsed(wiring);
  return nullptr;
}

std::unique_ptr<PttLine> openPttLine(const std::string& text, std::string& error) {
  const auto wiring = parseLineSpec(text, LineUse::Ptt, error);
  return wiring ? openPttLine(*wiring, error) : nullptr;
}

std::unique_ptr<SquelchLine> openSquelchLine(const std::string& text, std::string& error) {
  const auto wiring = parseLineSpec(text, LineUse::Squelch, error);
  return wiring ? openSquelchLine(*wiring, error) : nullptr;
}

}  // namespace qm::radio
