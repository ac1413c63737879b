#pragma once
// The radio backends' half of a line type (line_types.h): how a line of that kind is opened and probed. Each
// *_line.cpp defines its driver; lines.cpp finds it by the kind's name.
#include <memory>
#include <string>

#include "radio/device_inventory.h"
#include "radio/lines.h"

namespace qm::radio {

struct LineDriver {
  std::unique_ptr<PttLine> (*openPtt)(const LineSpec& wiring, std::string& error);
  std::unique_ptr<SquelchLine> (*openSquelch)(const LineSpec& wiring, std::string& error);
  // For --check: whether the line's device is there and usable, found without driving any pin; empty when it is.
  std::string (*probe)(const LineSpec& wiring, const DeviceInventory& inventory);
};

extern const LineDriver kSerialLine;
extern const LineDriver kCm108Line;
extern const LineDriver kGpioLine;
extern const LineDriver kPtyLine;

}  // namespace qm::radio
