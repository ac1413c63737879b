#include "echolink_net/echolink_net_settings.h"

#include <cctype>

namespace qm::echolink_net {
namespace {

bool digitsOnly(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

bool intIn(const std::string& s, int low, int high) {
  if (!digitsOnly(s) || s.size() > 7) return false;
  int v = std::stoi(s);
  return v >= low && v <= high;
}

bool ipv4(const std::string& s) {
  int parts = 0;
  std::size_t from = 0;
  for (;;) {
    auto dot = s.find('.', from);
    std::string part = s.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
    if (!digitsOnly(part) || part.size() > 3 || std::stoi(part) > 255) return false;
    ++parts;
    if (dot == std::string::npos) break;
    from = dot + 1;
  }
  return parts == 4;
}

bool patternText(const std::string& s) {
  for (char c : s)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '*' || c == '?' || c == '/' || c == ',' ||
          c == ' '))
      return false;
  return true;
}

bool dtmfCode(const std::string& s, bool emptyAllowed) {
  if (s.empty()) return emptyAllowed;
  return s.size() <= 8 && s.find_first_not_of("0123456789ABCD*#") == std::string::npos;
}

}  // namespace

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    auto comma = text.find(',', from);
    std::string part = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    auto first = part.find_first_not_of(' ');
    if (first != std::string::npos) out.push_back(part.substr(first, part.find_last_not_of(' ') - first + 1));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return out;
}

const std::vector<EchoLinkSettingKey>& echoLinkSettingKeys() {
  static const std::vector<EchoLinkSettingKey> keys = {
      {"Enabled", "0", "Enabled (0 or 1)"},
      {"Password", "", "Password"},
      {"Location", "", "Location"},
      {"Servers", kPublicServers, "Directory servers"},
      {"BindAddress", "", "Bind address"},
      {"PortBase", "5198", "UDP port base"},
      {"SysopName", "Quillmere", "Sysop name"},
      {"AllowCalls", "*", "Allowed calls"},
      {"DenyCalls", "", "Denied calls"},
      {"RequireDirectory", "1", "Caller listed (0/1)"},
      {"MaxStations", "4", "Most stations"},
      {"RefuseWhileBusy", "0", "Refuse if busy (0/1)"},
      {"RxHang", "300", "RX hang (ms)"},
      {"LoginRetry", "60", "Login retry (s)"},
      {"NodeCommands", "1", "Node DTMF (0/1)"},
      {"CodeDisconnectLast", "#", "Disconnect last"},
      {"CodeDisconnectAll", "##", "Disconnect all"},
      {"CodeReconnect", "09", "Reconnect"},
      {"CodeStatus", "08", "Status"},
      {"CodeConnectCall", "07", "Connect callsign"},
      {"CodeConnectNode", "", "Connect node no."},
  };
  return keys;
}

std::string echoLinkSettingProblem(const std::string& key, const std::string& v) {
  if (key == "Enabled" || key == "RequireDirectory" || key == "RefuseWhileBusy" || key == "NodeCommands")
    return v == "0" || v == "1" ? "" : "is neither 0 nor 1";
  if (key == "Password")
    return v.find_first_of("\r\n\xAC") == std::string::npos ? "" : "cannot hold line breaks or the byte 0xAC";
  if (key == "Location") return v.find_first_of("\r\n") == std::string::npos ? "" : "cannot hold line breaks";
  if (key == "Servers") {
    for (const std::string& s : splitList(v))
      if (s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") != std::string::npos)
        return "is not a comma-separated list of host names";
    return "";
  }
  if (key == "BindAddress") return v.empty() || ipv4(v) ? "" : "is not an IPv4 address";
  if (key == "PortBase") return intIn(v, 1024, 65534) ? "" : "is not a port number from 1024 to 65534";
  if (key == "SysopName") return v.find_first_of("\r\n") == std::string::npos ? "" : "cannot hold line breaks";
  if (key == "AllowCalls" || key == "DenyCalls")
    return patternText(v) ? "" : "is not a comma-separated list of callsign patterns (letters, digits, -, * and ?)";
  if (key == "MaxStations") return intIn(v, 1, 100) ? "" : "is not a number from 1 to 100";
  if (key == "RxHang") return intIn(v, 0, 2000) ? "" : "is not a number of milliseconds from 0 to 2000";
  if (key == "LoginRetry") return intIn(v, 1, 3600) ? "" : "is not a number of seconds from 1 to 3600";
  if (key == "CodeConnectNode") return dtmfCode(v, true) ? "" : "is not a DTMF code (0-9, A-D, * and #, up to 8)";
  if (key.starts_with("Code")) return dtmfCode(v, false) ? "" : "is not a DTMF code (0-9, A-D, * and #, up to 8)";
  return "";
}

EchoLinkNetSettings readEchoLinkSettings(const ProfileFile& file, const std::string& fileName,
                                         std::vector<std::string>& problems) {
  auto value = [&](const std::string& key) {
    std::string fallback;
    for (const auto& k : echoLinkSettingKeys())
      if (key == k.key) fallback = k.fallback;
    auto stored = file.get("SETTINGS", key);
    if (!stored) return fallback;
    if (auto why = echoLinkSettingProblem(key, *stored); !why.empty()) {
      std::string shown = key == "Password" ? std::string("(hidden)") : "\"" + *stored + "\"";
      problems.push_back(fileName + ": the value " + shown + " of " + key + " " + why + "; using \"" + fallback +
                         "\" instead.");
      return fallback;
    }
    return *stored;
  };
  EchoLinkNetSettings s;
  s.enabled = value("Enabled") == "1";
  s.password = value("Password");
  s.location = value("Location");
  if (s.location.size() > kLocationLimit) {
    std::string cut = s.location.substr(0, kLocationLimit);
    problems.push_back(fileName + ": the Location \"" + s.location + "\" is longer than " +
                       std::to_string(kLocationLimit) + " characters; the directory shows \"" + cut + "\".");
    s.location = cut;
  }
  s.servers = splitList(value("Servers"));
  s.bindAddress = value("BindAddress");
  s.portBase = std::stoi(value("PortBase"));
  s.sysopName = value("SysopName");
  s.allowCalls = splitList(value("AllowCalls"));
  s.denyCalls = splitList(value("DenyCalls"));
  s.requireDirectory = value("RequireDirectory") == "1";
  s.maxStations = std::stoi(value("MaxStations"));
  s.refuseWhileBusy = value("RefuseWhileBusy") == "1";
  s.rxHangMs = std::stoi(value("RxHang"));
  s.loginRetrySeconds = std::stoi(value("LoginRetry"));
  s.nodeCommands = value("NodeCommands") == "1";
  s.codes.disconnectLast = value("CodeDisconnectLast");
  s.codes.disconnectAll = value("CodeDisconnectAll");
  s.codes.reconnect = value("CodeReconnect");
  s.codes.status = value("CodeStatus");
  s.codes.connectCall = value("CodeConnectCall");
  s.codes.connectNode = value("CodeConnectNode");
  return s;
}

EchoLinkNetSettings readEchoLinkSettings(const std::filesystem::path& path, std::vector<std::string>& problems) {
  return readEchoLinkSettings(ProfileFile::load(path, problems), path.string(), problems);
}

}  // namespace qm::echolink_net
