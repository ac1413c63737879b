#pragma once
// The one-time code secret: base32 on the first line of a file that only the program's user may read. A missing
// file is made with a new random secret (and the caller shows it once); a file others could read is made private.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class OneTimeCodeBackend;

struct SecretFile {
  std::optional<std::string> secret;  // the raw bytes; nothing when it cannot be had
  std::string base32;                 // as written in the file
  bool created = false;               // made just now: show it to the operator, once
  std::vector<std::string> problems;  // each names the file and what was done
};

SecretFile loadOrCreateSecret(const std::filesystem::path& path, OneTimeCodeBackend& backend);

}  // namespace qm
