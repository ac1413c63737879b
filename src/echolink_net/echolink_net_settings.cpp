#include "echolink_net/echolink_net_settings.h"

#include <cctype>

#include "platform/settings_binding.h"

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

std::string passwordProblem(const std::string& v) {
  return v.find_first_of("\r\n\xAC") == std::string::npos ? "" : "cannot hold line breaks or the byte 0xAC";
}
std::string oneLineProblem(const std::string& v) {
  return v.find_first_of("\r\n") == std::string::npos ? "" : "cannot hold line breaks";
}
std::string serversProblem(const std::string& v) {
  for (const std::string& s : splitList(v))
    if (s.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") != std::string::npos)
      return "is not a comma-separated list of host names";
  return "";
}
std::string bindProblem(const std::string& v) {
  return v.empty() || ipv4(v) ? "" : "is not an IPv4 address";
}
std::string portBaseProblem(const std::string& v) {
  return intIn(v, 1024, 65534) ? "" : "is not a port number from 1024 to 65534";
}
std::string patternsProblem(const std::string& v) {
  return patternText(v) ? "" : "is not a comma-separated list of callsign patterns (letters, digits, -, * and ?)";
}
std::string stationsProblem(const std::string& v) {
  return intIn(v, 1, 100) ? "" : "is not a number from 1 to 100";
}
std::string rxHangProblem(const std::string& v) {
  return intIn(v, 0, 2000) ? "" : "is not a number of milliseconds from 0 to 2000";
}
std::string loginRetryProblem(const std::string& v) {
  return intIn(v, 1, 3600) ? "" : "is not a number of seconds from 1 to 3600";
}
std::string codeProblem(const std::string& v) {
  return dtmfCode(v, false) ? "" : "is not a DTMF code (0-9, A-D, * and #, up to 8)";
}
std::string optionalCodeProblem(const std::string& v) {
  return dtmfCode(v, true) ? "" : "is not a DTMF code (0-9, A-D, * and #, up to 8)";
}

using S = EchoLinkNetSettings;

SettingKey flag(const char* name, const char* help) {
  return {.name = name, .kind = SettingKind::Choice, .choices = {"0", "1"}, .help = help};
}
SettingKey code(const char* name, const char* help) {
  return {.name = name, .help = help, .check = codeProblem};
}

const BoundSettings<S>& bound() {
  static const BoundSettings<S> table(
      kEchoLinkSettingsFile,
      "The EchoLink network for the radio node: with Enabled=1 it logs in to the directory and takes connections "
      "on UDP ports 5198 and 5199 (forward them to this machine). In the program folder; it holds a password.",
      {
          {&S::enabled, flag("Enabled", "1: on the network; 0: off")},
          {&S::password,
           {.name = "Password",
            .help = "the password EchoLink validated the node's callsign with (the radio node's callsign)",
            .check = passwordProblem,
            .secret = true,
            .example = "your-echolink-password"}},
          {&S::location,
           {.name = "Location",
            .help = "what the directory shows, at most 27 characters (a longer one is cut, with a message)",
            .check = oneLineProblem,
            .example = "Hilltop, 145.500 MHz"}},
          {&S::servers,
           {.name = "Servers",
            .kind = SettingKind::List,
            .help = "directory servers, comma-separated; present but empty: no directory",
            .check = serversProblem}},
          {&S::bindAddress,
           {.name = "BindAddress",
            .help = "the IPv4 address of the UDP ports and the directory connection; empty: any",
            .check = bindProblem,
            .example = "192.0.2.10"}},
          {&S::portBase,
           {.name = "PortBase",
            .help = "the first of the two UDP ports, 1024 to 65534; other stations expect 5198",
            .check = portBaseProblem}},
          {&S::sysopName,
           {.name = "SysopName", .help = "the name sent to stations that connect", .check = oneLineProblem}},
          {&S::allowCalls,
           {.name = "AllowCalls",
            .kind = SettingKind::List,
            .help = "callsign patterns let in, comma-separated, * and ? as wildcards",
            .check = patternsProblem}},
          {&S::denyCalls,
           {.name = "DenyCalls",
            .kind = SettingKind::List,
            .help = "callsign patterns refused (before AllowCalls), comma-separated",
            .check = patternsProblem,
            .example = "N0BAD-*"}},
          {&S::requireDirectory,
           flag("RequireDirectory", "1: a caller must be listed in the directory at the address it calls from")},
          {&S::maxStations,
           {.name = "MaxStations",
            .help = "stations connected at once, 1 to 100; while that many are, the directory lists the node busy",
            .check = stationsProblem}},
          {&S::refuseWhileBusy,
           flag("RefuseWhileBusy", "1: calls are refused while the radio has a carrier or is transmitting")},
          {&S::rxHangMs,
           {.name = "RxHang",
            .help = "milliseconds a station's receive is held after its audio stops, against late packets (0 to "
                    "2000)",
            .check = rxHangProblem}},
          {&S::loginRetrySeconds,
           {.name = "LoginRetry",
            .help = "seconds before a failed login is tried again, doubling up to 30 minutes (1 to 3600)",
            .check = loginRetryProblem}},
          {&S::nodeCommands, flag("NodeCommands", "1: the node's own DTMF functions (the codes below) are on")},
          {[](S& s) -> std::string& { return s.codes.disconnectLast; },
           code("CodeDisconnectLast", "DTMF code that disconnects the station that connected last")},
          {[](S& s) -> std::string& { return s.codes.disconnectAll; },
           code("CodeDisconnectAll", "DTMF code that disconnects every station")},
          {[](S& s) -> std::string& { return s.codes.reconnect; },
           code("CodeReconnect", "DTMF code that connects again to the station that left last")},
          {[](S& s) -> std::string& { return s.codes.status; },
           code("CodeStatus", "DTMF code that announces the node's state")},
          {[](S& s) -> std::string& { return s.codes.connectCall; },
           code("CodeConnectCall", "DTMF code before a callsign on the keypad (one digit per letter) to connect")},
          {[](S& s) -> std::string& { return s.codes.connectNode; },
           {.name = "CodeConnectNode",
            .help = "DTMF code before a node number; empty: a bare number of 3 to 7 digits connects to that node",
            .check = optionalCodeProblem}},
      });
  return table;
}

}  // namespace

const SettingsTable& echoLinkSettingsTable() {
  return bound().table();
}

EchoLinkNetSettings readEchoLinkSettings(const ProfileFile& file, const std::string& fileName,
                                         std::vector<std::string>& problems) {
  return bound().read(file, fileName, problems, [&](const SettingKey& key, EchoLinkNetSettings& s) {
    if (key.name != "Location" || s.location.size() <= kLocationLimit) return;
    std::string cut = s.location.substr(0, kLocationLimit);
    problems.push_back(fileName + ": the Location \"" + s.location + "\" is longer than " +
                       std::to_string(kLocationLimit) + " characters; the directory shows \"" + cut + "\".");
    s.location = cut;
  });
}

EchoLinkNetSettings readEchoLinkSettings(const std::filesystem::path& path, std::vector<std::string>& problems) {
  return readEchoLinkSettings(ProfileFile::load(path, problems), path.string(), problems);
}

}  // namespace qm::echolink_net
