#pragma once
// Each kind of line opens itself from a parsed LineSpec; lines.cpp chooses the kind.
#include <memory>
#include <string>

#include "radio/device_inventory.h"
#include "radio/lines.h"

namespace qm::radio {

std::unique_ptr<PttLine> openPtyPttLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<SquelchLine> openPtySquelchLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<PttLine> openSerialPttLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<SquelchLine> openSerialSquelchLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<PttLine> openCm108PttLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<SquelchLine> openCm108SquelchLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<PttLine> openGpioPttLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<SquelchLine> openGpioSquelchLine(const LineSpec& wiring, std::string& error);

// Probes for --check: whether the line's device is there and usable, found without driving any pin. Empty when
// it is.
std::string probeSerialLine(const LineSpec& wiring, const DeviceInventory& inventory);
std::string probeCm108Line(const LineSpec& wiring, const DeviceInventory& inventory);
std::string probeGpioLine(const LineSpec& wiring);
std::string probePtyLine(const LineSpec& wiring);

// A bare device name (ttyUSB0, hidraw1, gpiochip0) is looked for in /dev.
std::string devicePath(const std::string& device);
// "errno's text" for messages.
std::string lastError();

}  // namespace qm::radio
