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
  static const std::vector<LineType> types{
      {.name = "none",
       .syntax = "none",
       .shape = Shape::Word,
       .ptt = true,
       .squelch = false,
       .checkNote = "none (the radio keys itself on its audio)"},
      {.name = "vox",
       .syntax = "vox",
       .shape = Shape::Word,
       .ptt = false,
       .squelch = true,
       .checkNote = "carrier from the receive audio (vox)"},
      {.name = "serial",
       .syntax = "serial:DEVICE:PIN",
       .shape = Shape::DevicePin,
       .ptt = true,
       .squelch = true,
       .outputs = {"RTS", "DTR"},
       .inputs = {"DCD", "CTS", "DSR", "RI"},
       .pinsOf = "a serial port",
       .checkNote = " is there"},
      {.name = "cm108",
       .syntax = "cm108:DEVICE:PIN",
       .shape = Shape::DevicePin,
       .ptt = true,
       .squelch = true,
       .outputs = {"GPIO1", "GPIO2", "GPIO3", "GPIO4"},
       .inputs = {"VOL_UP", "VOL_DN", "MUTE_PLAY", "MUTE_REC"},
       .pinsOf = "a CM108 sound interface",
       .checkNote = " is there"},
      {.name = "gpio",
       .syntax = "gpio:CHIP:LINE",
       .shape = Shape::ChipLine,
       .ptt = true,
       .squelch = true,
       .checkNote = " is there"},
      {.name = "pty",
       .syntax = "pty:PATH",
       .shape = Shape::Path,
       .ptt = true,
       .squelch = true,
       .checkNote = " (made at start)"},
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
