#include "sip/sip_settings.h"

#include "platform/vb_text.h"

namespace qm {
namespace {

bool hasBlankOr(const std::string& s, const std::string& forbidden) {
  for (char c : s)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || forbidden.find(c) != std::string::npos) return true;
  return false;
}

bool allOf(const std::string& s, bool (*ok)(char)) {
  for (char c : s)
    if (!ok(c)) return false;
  return !s.empty();
}

bool digit(char c) {
  return c >= '0' && c <= '9';
}
bool hostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || digit(c) || c == '.' || c == '-';
}
bool driverChar(char c) {
  return (c >= 'a' && c <= 'z') || digit(c) || c == '_';
}

bool portText(const std::string& s, bool zeroAllowed) {
  if (!allOf(s, digit) || s.size() > 5) return false;
  int port = std::stoi(s);
  return port <= 65535 && (zeroAllowed || port > 0);
}

// "host" or "host:port", the host a name or an IPv4 address.
bool hostAndPort(const std::string& s) {
  auto colon = s.find(':');
  std::string host = s.substr(0, colon);
  if (!allOf(host, hostChar) || host.front() == '.' || host.front() == '-') return false;
  return colon == std::string::npos || portText(s.substr(colon + 1), false);
}

// The part of a sip: or sips: address after the scheme and before any parameter.
std::string addressPart(const std::string& uri) {
  std::string rest = uri.substr(uri.find(':') + 1);
  return rest.substr(0, rest.find(';'));
}

bool sipScheme(const std::string& uri) {
  return startsWith(uri, "sip:") || startsWith(uri, "sips:");
}

// The host of ListenAddress, without brackets; empty when it names no specific address.
std::string listenHost(const std::string& listen) {
  if (listen.empty()) return "";
  std::string host;
  if (listen.front() == '[')
    host = listen.substr(1, listen.find(']') - 1);
  else
    host = listen.substr(0, listen.rfind(':'));
  if (host == "0.0.0.0" || host == "::" || host.empty()) return "";
  return host;
}

}  // namespace

const std::vector<SipSettingKey>& sipSettingKeys() {
  static const std::vector<SipSettingKey> keys = {
      {"Account", ""},
      {"AuthUser", ""},
      {"Password", ""},
      {"Register", "1"},
      {"Outbound", ""},
      {"AccountOptions", ""},
      {"DialPattern", ""},
      {"InternationalPrefix", ""},
      {"NameDomain", ""},
      {"AudioDriver", "alsa"},
      {"InputDevice", "default"},
      {"OutputDevice", "default"},
      {"ListenAddress", ""},
      {"ControlPort", "0"},
      {"Program", "baresip"},
      {"ModulePath", "/usr/lib/baresip/modules"},
  };
  return keys;
}

std::string sipSettingProblem(const std::string& key, const std::string& v) {
  if (key == "Account") {
    if (v.empty()) return "";
    if (!sipScheme(v) || hasBlankOr(v, "<>\";,")) return "is not a sip: address without blanks";
    std::string address = addressPart(v);
    auto at = address.find('@');
    if (at == std::string::npos || at == 0) return "has no user@ before the domain";
    if (!hostAndPort(address.substr(at + 1))) return "has no valid domain after the @";
    return "";
  }
  if (key == "AuthUser" || key == "Password")
    return hasBlankOr(v, ";") ? "cannot hold blanks or \";\" (baresip would cut it there)" : "";
  if (key == "Register") return v == "0" || v == "1" ? "" : "is neither 0 nor 1";
  if (key == "Outbound") {
    if (v.empty()) return "";
    if (!sipScheme(v) || hasBlankOr(v, "<>\"") || !hostAndPort(addressPart(v).substr(addressPart(v).find('@') + 1)))
      return "is not a sip: address of a proxy";
    return "";
  }
  if (key == "AccountOptions") {
    if (v.empty()) return "";
    if (v.front() != ';' || hasBlankOr(v, "<>")) return "must be \";name=value\" parameters without blanks";
    return "";
  }
  if (key == "DialPattern") return numberPatternProblem(v);
  if (key == "InternationalPrefix") return v.empty() || v == "+" || allOf(v, digit) ? "" : "is neither + nor digits";
  if (key == "NameDomain") return v.empty() || hostAndPort(v) ? "" : "is not a domain name";
  if (key == "AudioDriver") return allOf(v, driverChar) ? "" : "is not a baresip audio module name (alsa, pulse ...)";
  if (key == "InputDevice" || key == "OutputDevice")
    return !v.empty() && !hasBlankOr(v, "#") ? "" : "must be a device name without blanks or \"#\"";
  if (key == "ListenAddress") {
    if (v.empty()) return "";
    if (v.front() == '[') {
      auto close = v.find("]:");
      bool ok = close != std::string::npos && close > 1 && portText(v.substr(close + 2), false) &&
                v.substr(1, close - 1).find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
      return ok ? "" : "is not [IPv6 ADDRESS]:PORT";
    }
    auto colon = v.rfind(':');
    if (colon == std::string::npos || !portText(v.substr(colon + 1), false)) return "is not ADDRESS:PORT";
    std::string host = v.substr(0, colon);
    int parts = 0;
    std::size_t from = 0;
    for (;;) {
      auto dot = host.find('.', from);
      std::string part = host.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
      if (!allOf(part, digit) || part.size() > 3 || std::stoi(part) > 255) return "is not ADDRESS:PORT";
      ++parts;
      if (dot == std::string::npos) break;
      from = dot + 1;
    }
    return parts == 4 ? "" : "is not ADDRESS:PORT";
  }
  if (key == "ControlPort") return portText(v, true) ? "" : "is not a port number from 0 to 65535";
  if (key == "Program" || key == "ModulePath")
    return v.empty() || hasBlankOr(v, "#") ? "must be a path without blanks" : "";
  return "";
}

SipSettings readSipSettings(const ProfileFile& file, const std::string& fileName, std::vector<std::string>& problems) {
  auto value = [&](const std::string& key) {
    std::string fallback;
    for (const auto& k : sipSettingKeys())
      if (key == k.key) fallback = k.fallback;
    auto stored = file.get("SETTINGS", key);
    if (!stored) return fallback;
    if (auto why = sipSettingProblem(key, *stored); !why.empty()) {
      std::string shown = key == "Password" ? std::string("(hidden)") : "\"" + *stored + "\"";
      problems.push_back(fileName + ": the value " + shown + " of " + key + " " + why + "; using \"" + fallback +
                         "\" instead.");
      return fallback;
    }
    return *stored;
  };
  SipSettings s;
  s.account = value("Account");
  s.authUser = value("AuthUser");
  s.password = value("Password");
  s.registerAccount = value("Register") == "1";
  s.outbound = value("Outbound");
  s.accountOptions = value("AccountOptions");
  s.dialPattern = value("DialPattern");
  s.internationalPrefix = value("InternationalPrefix");
  s.nameDomain = value("NameDomain");
  s.audioDriver = value("AudioDriver");
  s.inputDevice = value("InputDevice");
  s.outputDevice = value("OutputDevice");
  s.listenAddress = value("ListenAddress");
  s.controlPort = std::stoi(value("ControlPort"));
  s.program = value("Program");
  s.modulePath = value("ModulePath");
  return s;
}

SipSettings readSipSettings(const std::filesystem::path& path, std::vector<std::string>& problems) {
  return readSipSettings(ProfileFile::load(path, problems), path.string(), problems);
}

std::string SipSettings::accountDomain() const {
  if (account.empty()) return "";
  std::string address = addressPart(account);
  std::string host = address.substr(address.find('@') + 1);
  return host.substr(0, host.find(':'));
}

DialPlan SipSettings::dialPlan() const {
  return {dialPattern, internationalPrefix, nameDomain.empty() ? accountDomain() : nameDomain};
}

bool SipSettings::agentDiffers(const SipSettings& o) const {
  return baresipConfig(*this, 0) != baresipConfig(o, 0) || baresipAccounts(*this) != baresipAccounts(o) ||
         program != o.program || controlPort != o.controlPort;
}

std::string baresipConfig(const SipSettings& s, int controlPort) {
  std::string c;
  auto line = [&c](const std::string& key, const std::string& value) {
    c += key;
    c += std::string(key.size() < 16 ? 16 - key.size() : 1, ' ');
    c += value + "\n";
  };
  c += "# Written by Quillmere each time it starts baresip: change quillmere_sip.ini instead.\n";
  line("poll_method", "epoll");
  line("module_path", s.modulePath);
  if (!s.listenAddress.empty()) line("sip_listen", s.listenAddress);
  // SIP bound to one address: the media goes there too, so nothing is sent from elsewhere.
  if (auto host = listenHost(s.listenAddress); !host.empty()) line("net_interface", host);
  line("call_local_timeout", "120");
  line("call_max_calls", "1");
  if (s.onJack()) {
    // JACK carries float samples at the server's rate, one channel.
    line("audio_player", "jack,call");
    line("audio_source", "jack,call");
    line("audio_alert", "jack,call");
    // With the radio node, the node links each call's ports; by hand, baresip links them to the system's ports.
    line("jack_connect_ports", s.jackClient.empty() ? "yes" : "no");
    line("jack_client_name", s.jackClient.empty() ? "baresip" : s.jackClient);
    for (const char* dir : {"ausrc", "auplay"}) {
      line(std::string(dir) + "_format", "float");
      line(std::string(dir) + "_srate", std::to_string(s.jackRate));
      line(std::string(dir) + "_channels", "1");
    }
  } else {
    line("audio_player", s.audioDriver + "," + s.outputDevice);
    line("audio_source", s.audioDriver + "," + s.inputDevice);
    line("audio_alert", s.audioDriver + "," + s.outputDevice);
  }
  line("statmode_default", "off");
  line("ctrl_tcp_listen", "127.0.0.1:" + std::to_string(controlPort));
  line("module", "g711.so");
  line("module", "g722.so");
  line("module", "opus.so");
  line("module", (s.onJack() ? std::string("jack") : s.audioDriver) + ".so");
  line("module_tmp", "account.so");
  line("module_app", "menu.so");
  line("module_app", "ctrl_tcp.so");
  return c;
}

std::string baresipAccounts(const SipSettings& s) {
  std::string a = "# Written by Quillmere each time it starts baresip: change quillmere_sip.ini instead.\n";
  bool local = s.account.empty();
  a += "<" + (local ? std::string(SipSettings::kLocalAccount) : s.account) + ">";
  if (!local && !s.authUser.empty()) a += ";auth_user=" + s.authUser;
  if (!local && !s.password.empty()) a += ";auth_pass=" + s.password;
  if (!local && !s.outbound.empty()) a += ";outbound=\"" + s.outbound + "\"";
  a += ";answermode=manual";
  a += ";regint=" + std::string(!local && s.registerAccount ? "3600" : "0");
  if (!local) a += s.accountOptions;
  return a + "\n";
}

}  // namespace qm
