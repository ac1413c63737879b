#pragma once
// The web page's settings: quillmere_web.ini in the machine-wide folder, section [SETTINGS]. The keys, their checks
// and their help are the rows of webSettingsTable() (web_settings.cpp); a bad value is named with the file, key and
// value, and the default is used instead. Plain logic (no Qt): --check, the manual page and the Settings tab read it.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/settings_table.h"

namespace qm::web {

inline constexpr const char* kWebSettingsFile = "quillmere_web.ini";
inline constexpr const char* kUsersFile = "quillmere_web_users";

struct WebSettings {
  bool enabled = false;
  std::string listen = "127.0.0.1:8073";  // ADDR:PORT, [ADDR]:PORT for IPv6; parsed into address and port
  std::string address = "127.0.0.1";
  std::uint16_t port = 8073;
  std::string tlsCertificate, tlsKey;
  std::string metricsToken;
  bool publicStatus = false;
  bool tls() const { return !tlsCertificate.empty() && !tlsKey.empty(); }
  bool operator==(const WebSettings&) const = default;
};

const SettingsTable& webSettingsTable();
WebSettings readWebSettings(const std::filesystem::path& file, std::vector<std::string>& problems);

}  // namespace qm::web
