#include "radio/line_device.h"

#include <cerrno>
#include <cstring>

namespace qm::radio {

std::string devicePath(const std::string& device) {
  return device.find('/') == std::string::npos ? "/dev/" + device : device;
}

std::string lastError() {
  return std::strerror(errno);
}

}  // namespace qm::radio
