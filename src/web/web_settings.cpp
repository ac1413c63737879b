#include "web/web_settings.h"

#include "platform/profile_file.h"

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

}  // namespace

WebSettings readWebSettings(const std::filesystem::path& file, std::vector<std::string>& problems) {
  WebSettings s;
  ProfileFile ini = ProfileFile::load(file, problems);
  auto bad = [&](const char* key, const std::string& value, const std::string& used) {
    problems.push_back(file.string() + ": " + key + "=" + value + " is not valid; " + used + " is used instead");
  };
  auto flag = [&](const char* key, bool fallback) {
    std::string v = ini.read("SETTINGS", key, fallback ? "1" : "0");
    if (v == "1") return true;
    if (v == "0" || v.empty()) return false;
    bad(key, v, fallback ? "1" : "0");
    return fallback;
  };
  s.enabled = flag("Enabled", false);
  s.publicStatus = flag("PublicStatus", false);
  std::string listen = ini.read("SETTINGS", "Listen", "127.0.0.1:8073");
  if (!listen.empty() && !parseListen(listen, s.address, s.port)) bad("Listen", listen, "127.0.0.1:8073");
  s.tlsCertificate = ini.read("SETTINGS", "TlsCertificate", "");
  s.tlsKey = ini.read("SETTINGS", "TlsKey", "");
  // Half a TLS setting is a mistake; plain HTTP in its place could carry passwords over a network in the clear.
  if (s.tlsCertificate.empty() != s.tlsKey.empty() && s.enabled) {
    problems.push_back(file.string() + ": TlsCertificate and TlsKey go together; the web server does not start");
    s.enabled = false;
  }
  s.metricsToken = ini.read("SETTINGS", "MetricsToken", "");
  return s;
}

}  // namespace qm::web
