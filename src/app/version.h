#pragma once
// The product's name and version, as the title, the report and the chat answer show them.
#include <string>

namespace qm {

inline constexpr const char* kProductName = "Quillmere";
inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 6;

inline std::string versionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

}  // namespace qm
