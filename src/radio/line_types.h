#pragma once
// The kinds of control line a radio can have, one row each: how the user writes one, which pins it has, what --check
// says of it. Parsing, the messages that name a bad line, --check and the backends that open and probe lines
// (lines.cpp) all read this table; adding a kind is one row here and one file of the radio backends (*_line.cpp).
// Plain logic: the settings and their window check a line's name without the backends.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm::radio {

struct LineSpec {
  std::string kind;    // a LineType's name
  std::string device;  // the device, chip or path
  std::string pin;     // the pin or line, upper case where the kind lists its pins
  bool inverted = false;
  std::string text;  // as the user wrote it
};

enum class LineUse { Ptt, Squelch };

struct LineType {
  // How the name goes on after the kind: nothing (none, vox), a path (pty:PATH), a device and one of the listed pins
  // (serial:DEVICE:PIN), a chip and any of its lines (gpio:CHIP:LINE).
  enum class Shape { Word, Path, DevicePin, ChipLine };

  std::string_view name;
  std::string_view syntax;  // as the user writes it
  Shape shape;
  bool ptt;                                 // serves as the transmitter's keying
  bool squelch;                             // serves as carrier detect
  std::vector<std::string_view> outputs{};  // DevicePin: the pins PTT may use
  std::vector<std::string_view> inputs{};   // DevicePin: the pins squelch may use
  std::string_view pinsOf{};                // DevicePin: whose pins they are, for messages
  // What --check says of it: a Word kind instead of the value, any other after the value once its device is probed.
  std::string_view checkNote;
};

const std::vector<LineType>& lineTypes();
// The row of `kind` (a LineSpec's), or null.
const LineType* findLineType(std::string_view kind);

// Nothing, with `error` saying what is wrong and what is allowed, when `text` names no line of that use.
std::optional<LineSpec> parseLineSpec(const std::string& text, LineUse use, std::string& error);

}  // namespace qm::radio
