#pragma once
// The EchoLink network's settings, kept in quillmere_echolink.ini in the program folder (section SETTINGS). Every key
// is optional; a value that cannot be used is named (file, key, value, why) and replaced by its default.
//
//   Enabled            1: the radio node logs in to the directory and takes connections; 0 (default): no network
//   Password           the node's EchoLink password
//   Location           shown in the directory, at most 27 characters (a longer one is cut, with a message)
//   Servers            directory servers, comma-separated; default the public ones; empty: no directory at all
//   BindAddress        the IPv4 address of the UDP ports and the directory connection; empty (default): any
//   PortBase           the first of the two UDP ports (audio, then control); default 5198 (every station uses it)
//   SysopName          the name sent to connecting stations; default "Quillmere"
//   AllowCalls         callsign patterns let in, comma-separated, * and ? as wildcards; default "*"
//   DenyCalls          callsign patterns refused (before AllowCalls); default empty
//   RequireDirectory   1 (default): a caller must be listed in the directory at the address it calls from
//   MaxStations        stations connected at once, 1 to 100; default 4
//   RefuseWhileBusy    1: a station calling while the radio is busy (carrier or transmitter) is refused; default 0
//   RxHang             milliseconds a station's receive is held after its audio stops, so that a late packet does
//                      not unkey the transmitter (0 to 2000); default 300
//   LoginRetry         seconds before a failed directory login is tried again (doubling up to 30 minutes); default 60
//   NodeCommands       1 (default): the node's own DTMF functions are on; 0: off
//   CodeDisconnectLast, CodeDisconnectAll, CodeReconnect, CodeStatus, CodeConnectCall  their DTMF codes: "#", "##",
//                      "09", "08" and "07" (followed by the callsign on the keypad, one digit per letter)
//   CodeConnectNode    the code before a node number; default empty: a bare number of 3 to 7 digits connects
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"

namespace qm::echolink_net {

constexpr const char* kEchoLinkSettingsFile = "quillmere_echolink.ini";
constexpr std::size_t kLocationLimit = 27;  // what the directory keeps of a location
constexpr const char* kPublicServers = "servers.echolink.org";

struct NodeCodes {
  std::string disconnectLast = "#";
  std::string disconnectAll = "##";
  std::string reconnect = "09";
  std::string status = "08";
  std::string connectCall = "07";
  std::string connectNode;
  bool operator==(const NodeCodes&) const = default;
};

struct EchoLinkNetSettings {
  bool enabled = false;
  std::string password;
  std::string location;
  std::vector<std::string> servers{kPublicServers};
  std::string bindAddress;
  int portBase = 5198;
  std::string sysopName = "Quillmere";
  std::vector<std::string> allowCalls{"*"};
  std::vector<std::string> denyCalls;
  bool requireDirectory = true;
  int maxStations = 4;
  bool refuseWhileBusy = false;
  int rxHangMs = 300;
  int loginRetrySeconds = 60;
  bool nodeCommands = true;
  NodeCodes codes;
  bool operator==(const EchoLinkNetSettings&) const = default;
};

struct EchoLinkSettingKey {
  const char* key;
  const char* fallback;
  const char* caption;  // for the settings window
};
// Every key in file order, with its default as the file holds it.
const std::vector<EchoLinkSettingKey>& echoLinkSettingKeys();

// Why `value` cannot be used for `key`, or empty when it can. A Location longer than 27 characters can be used: it
// is cut when read, with a message.
std::string echoLinkSettingProblem(const std::string& key, const std::string& value);

EchoLinkNetSettings readEchoLinkSettings(const ProfileFile& file, const std::string& fileName,
                                         std::vector<std::string>& problems);
EchoLinkNetSettings readEchoLinkSettings(const std::filesystem::path& path, std::vector<std::string>& problems);

// "a, b ,c" -> {"a", "b", "c"}; empty parts are dropped.
std::vector<std::string> splitList(const std::string& text);

}  // namespace qm::echolink_net
