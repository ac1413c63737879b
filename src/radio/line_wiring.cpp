#include <algorithm>
#include <array>
#include <cctype>

#include "radio/lines.h"

namespace qm::radio {
namespace {

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

template <std::size_t N>
bool oneOf(const std::string& pin, const std::array<const char*, N>& pins) {
  return std::any_of(pins.begin(), pins.end(), [&](const char* p) { return pin == p; });
}

template <std::size_t N>
std::string list(const std::array<const char*, N>& pins) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) text += std::string(i == 0 ? "" : i + 1 == N ? " or " : ", ") + pins[i];
  return text;
}

constexpr std::array<const char*, 2> kSerialOut{"RTS", "DTR"};
constexpr std::array<const char*, 4> kSerialIn{"DCD", "CTS", "DSR", "RI"};
constexpr std::array<const char*, 4> kCm108Out{"GPIO1", "GPIO2", "GPIO3", "GPIO4"};
constexpr std::array<const char*, 4> kCm108In{"VOL_UP", "VOL_DN", "MUTE_PLAY", "MUTE_REC"};

}  // namespace

std::optional<LineSpec> parseLineSpec(const std::string& text, LineUse use, std::string& error) {
  const bool ptt = use == LineUse::Ptt;
  const std::string kinds = ptt ? "none, serial:DEVICE:PIN, cm108:DEVICE:PIN, gpio:CHIP:LINE or pty:PATH"
                                : "vox, serial:DEVICE:PIN, cm108:DEVICE:PIN, gpio:CHIP:LINE or pty:PATH";
  LineSpec wiring;
  wiring.text = text;
  const std::size_t colon = text.find(':');
  wiring.kind = lower(text.substr(0, colon));
  if (colon == std::string::npos) {
    if ((ptt && wiring.kind == "none") || (!ptt && wiring.kind == "vox")) return wiring;
    error = "\"" + text + "\" names no " + (ptt ? "PTT" : "squelch") + " line: use " + kinds;
    return std::nullopt;
  }
  const std::string rest = text.substr(colon + 1);
  if (wiring.kind == "pty") {
    if (rest.empty()) {
      error = "\"" + text + "\" names no path for the pseudo-terminal's symlink: use pty:PATH";
      return std::nullopt;
    }
    wiring.device = rest;
    return wiring;
  }
  if (wiring.kind != "serial" && wiring.kind != "cm108" && wiring.kind != "gpio") {
    error = "\"" + text + "\": \"" + text.substr(0, colon) + "\" is no kind of line: use " + kinds;
    return std::nullopt;
  }
  const std::size_t last = rest.rfind(':');
  const char* what = wiring.kind == "gpio" ? "CHIP:LINE" : "DEVICE:PIN";
  if (last == std::string::npos || last == 0 || last + 1 == rest.size()) {
    error = "\"" + text + "\" needs a " + (wiring.kind == "gpio" ? "chip and a line" : "device and a pin") + ": use " +
            wiring.kind + ":" + what;
    return std::nullopt;
  }
  wiring.device = rest.substr(0, last);
  wiring.pin = rest.substr(last + 1);
  if (wiring.pin.front() == '!') {
    wiring.inverted = true;
    wiring.pin.erase(0, 1);
  }
  if (wiring.pin.empty()) {
    error = "\"" + text + "\" needs a " + (wiring.kind == "gpio" ? "line" : "pin") + " after the !";
    return std::nullopt;
  }
  if (wiring.kind == "gpio") return wiring;  // an offset or a name, checked against the chip when opened
  wiring.pin = upper(wiring.pin);
  const bool serial = wiring.kind == "serial";
  const bool known = serial ? (ptt ? oneOf(wiring.pin, kSerialOut) : oneOf(wiring.pin, kSerialIn))
                            : (ptt ? oneOf(wiring.pin, kCm108Out) : oneOf(wiring.pin, kCm108In));
  if (!known) {
    const std::string allowed =
        serial ? (ptt ? list(kSerialOut) : list(kSerialIn)) : (ptt ? list(kCm108Out) : list(kCm108In));
    error = "\"" + text + "\": " + wiring.pin + " is no " + (ptt ? "output" : "input") + " pin of " +
            (serial ? "a serial port" : "a CM108 sound interface") + ": use " + allowed + " (! before it inverts)";
    return std::nullopt;
  }
  return wiring;
}

}  // namespace qm::radio
