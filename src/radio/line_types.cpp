#include "radio/line_types.h"

#include <algorithm>

#include "platform/vb_text.h"

namespace qm::radio {
namespace {

using Shape = LineType::Shape;

bool serves(const LineType& type, LineUse use) {
  return use == LineUse::Ptt ? type.ptt : type.squelch;
}

// The kinds a line of this use may have, as the user writes them.
std::string kinds(LineUse use) {
  std::vector<std::string> names;
  for (const LineType& type : lineTypes())
    if (serves(type, use)) names.emplace_back(type.syntax);
  return orList(names);
}

}  // namespace

const std::vector<LineType>& lineTypes() {
  using Pins = std::vector<std::string_view>;
  static const Pins serialOut{"RTS", "DTR"}, serialIn{"DCD", "CTS", "DSR", "RI"};
  static const Pins cm108Out{"GPIO1", "GPIO2", "GPIO3", "GPIO4"}, cm108In{"VOL_UP", "VOL_DN", "MUTE_PLAY", "MUTE_REC"};
  // name, syntax, shape, PTT, squelch, output pins, input pins, whose pins, what --check says
  static const std::vector<LineType> types{
      {"none", "none", Shape::Word, true, false, {}, {}, "", "none (the radio keys itself on its audio)"},
      {"vox", "vox", Shape::Word, false, true, {}, {}, "", "carrier from the receive audio (vox)"},
      {"serial", "serial:DEVICE:PIN", Shape::DevicePin, true, true, serialOut, serialIn, "a serial port", " is there"},
      {"cm108", "cm108:DEVICE:PIN", Shape::DevicePin, true, true, cm108Out, cm108In, "a CM108 sound interface",
       " is there"},
      {"gpio", "gpio:CHIP:LINE", Shape::ChipLine, true, true, {}, {}, "", " is there"},
      {"pty", "pty:PATH", Shape::Path, true, true, {}, {}, "", " (made at start)"},
  };
  return types;
}

const LineType* findLineType(std::string_view kind) {
  for (const LineType& type : lineTypes())
    if (type.name == kind) return &type;
  return nullptr;
}

std::optional<LineSpec> parseLineSpec(const std::string& text, LineUse use, std::string& error) {
  const bool ptt = use == LineUse::Ptt;
  LineSpec wiring;
  wiring.text = text;
  const std::size_t colon = text.find(':');
  wiring.kind = asciiLower(text.substr(0, colon));
  const LineType* type = findLineType(wiring.kind);
  if (colon == std::string::npos) {
    if (type != nullptr && type->shape == Shape::Word && serves(*type, use)) return wiring;
    error = "\"" + text + "\" names no " + (ptt ? "PTT" : "squelch") + " line: use " + kinds(use);
    return std::nullopt;
  }
  const std::string rest = text.substr(colon + 1);
  if (type != nullptr && type->shape == Shape::Path && serves(*type, use)) {
    if (rest.empty()) {
      error = "\"" + text + "\" names no path for the pseudo-terminal's symlink: use " + std::string(type->syntax);
      return std::nullopt;
    }
    wiring.device = rest;
    return wiring;
  }
  if (type == nullptr || (type->shape != Shape::DevicePin && type->shape != Shape::ChipLine) || !serves(*type, use)) {
    error = "\"" + text + "\": \"" + text.substr(0, colon) + "\" is no kind of line: use " + kinds(use);
    return std::nullopt;
  }
  const bool chip = type->shape == Shape::ChipLine;
  const std::size_t last = rest.rfind(':');
  if (last == std::string::npos || last == 0 || last + 1 == rest.size()) {
    error = "\"" + text + "\" needs a " + (chip ? "chip and a line" : "device and a pin") + ": use " +
            std::string(type->syntax);
    return std::nullopt;
  }
  wiring.device = rest.substr(0, last);
  wiring.pin = rest.substr(last + 1);
  if (wiring.pin.front() == '!') {
    wiring.inverted = true;
    wiring.pin.erase(0, 1);
  }
  if (wiring.pin.empty()) {
    error = "\"" + text + "\" needs a " + (chip ? "line" : "pin") + " after the !";
    return std::nullopt;
  }
  if (chip) return wiring;  // an offset or a name, checked against the chip when opened
  wiring.pin = asciiUpper(wiring.pin);
  const auto& pins = ptt ? type->outputs : type->inputs;
  if (std::find(pins.begin(), pins.end(), wiring.pin) == pins.end()) {
    error = "\"" + text + "\": " + wiring.pin + " is no " + (ptt ? "output" : "input") + " pin of " +
            std::string(type->pinsOf) + ": use " + orList({pins.begin(), pins.end()}) + " (! before it inverts)";
    return std::nullopt;
  }
  return wiring;
}

}  // namespace qm::radio
