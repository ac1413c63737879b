#include "web/web_settings.h"

#include "platform/profile_file.h"
#include "platform/settings_binding.h"

namespace qm::web {

namespace {

bool parseListen(const std::string& text, std::string& address, std::uint16_t& port) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon), digits = text.substr(colon + 1);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  unsigned long p = std::stoul(digits);
  if (p == 0 || p > 65535) return false;
  if (host.find_first_not_of("0123456789abcdefABCDEF.:") != std::string::npos) return false;
  address = host;
  port = static_cast<std::uint16_t>(p);
  return true;
}

std::string listenProblem(const std::string& value) {
  std::string address;
  std::uint16_t port = 0;
  return parseListen(value, address, port) ? "" : "is not ADDRESS:PORT (an IP address, [ADDRESS]:PORT for IPv6)";
}

SettingKey flag(const char* name, const char* help) {
  return {.name = name, .kind = SettingKind::Choice, .choices = {"0", "1"}, .help = help};
}

const BoundSettings<WebSettings>& bound() {
  static const BoundSettings<WebSettings> table(
      kWebSettingsFile,
      "The web page and /metrics: whether the server runs, where it listens, TLS, the metrics token and a status page "
      "without login. In the machine-wide folder; the users are in quillmere_web_users beside it (quillmere "
      "--add-user). A change takes effect at the next start.",
      {
          {&WebSettings::enabled, flag("Enabled", "1: the web server runs; 0: off")},
          {&WebSettings::listen,
           {.name = "Listen",
            .help = "the address and port it listens on; 127.0.0.1 keeps it to this machine (or a reverse proxy)",
            .check = listenProblem,
            .example = "0.0.0.0:8073"}},
          {&WebSettings::tlsCertificate,
           {.name = "TlsCertificate",
            .help = "a PEM certificate file; with TlsKey set too the server speaks HTTPS only",
            .example = "/etc/quillmere/web.crt"}},
          {&WebSettings::tlsKey,
           {.name = "TlsKey",
            .help = "the PEM private key file of TlsCertificate",
            .example = "/etc/quillmere/web.key"}},
          {&WebSettings::metricsToken,
           {.name = "MetricsToken",
            .help = "the Bearer token that reads /metrics; empty: no /metrics",
            .secret = true}},
          {&WebSettings::publicStatus, flag("PublicStatus", "1: the status page and /api/status need no login")},
      });
  return table;
}

}  // namespace

const SettingsTable& webSettingsTable() {
  return bound().table();
}

WebSettings readWebSettings(const std::filesystem::path& file, std::vector<std::string>& problems) {
  ProfileFile ini = ProfileFile::load(file, problems);
  WebSettings s = bound().read(ini, file.string(), problems);
  parseListen(s.listen, s.address, s.port);  // checked by its row: the default when it was bad
  // Half a TLS setting is a mistake; plain HTTP in its place could carry passwords over a network in the clear.
  if (s.tlsCertificate.empty() != s.tlsKey.empty() && s.enabled) {
    problems.push_back(file.string() + ": TlsCertificate and TlsKey go together; the web server does not start");
    s.enabled = false;
  }
  return s;
}

}  // namespace qm::web
