#pragma once
// What the line drivers share for naming devices in messages.
#include <string>

namespace qm::radio {

// A bare device name (ttyUSB0, hidraw1, gpiochip0) is looked for in /dev.
std::string devicePath(const std::string& device);
// "errno's text" for messages.
std::string lastError();

}  // namespace qm::radio
