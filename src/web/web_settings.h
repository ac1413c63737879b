#pragma once
// The web page's settings: quillmere_web.ini in the machine-wide folder, section [SETTINGS].
//   Enabled         0 or 1 (default 0): the web server runs
//   Listen          ADDR:PORT (default 127.0.0.1:8073); [ADDR]:PORT for IPv6
//   TlsCertificate  PEM certificate file \ both set: HTTPS only
//   TlsKey          PEM private key file /
//   MetricsToken    the Bearer token of /metrics; empty: no /metrics
//   PublicStatus    1: /api/status and the status page without login (default 0)
// A bad value is named with the file, key and value, and the default is used instead.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::web {

inline constexpr const char* kWebSettingsFile = "quillmere_web.ini";
inline constexpr const char* kUsersFile = "quillmere_web_users";

struct WebSettings {
  bool enabled = false;
  std::string address = "127.0.0.1";
  std::uint16_t port = 8073;
  std::string tlsCertificate, tlsKey;
  std::string metricsToken;
  bool publicStatus = false;
  bool tls() const { return !tlsCertificate.empty() && !tlsKey.empty(); }
};

WebSettings readWebSettings(const std::filesystem::path& file, std::vector<std::string>& problems);

}  // namespace qm::web
