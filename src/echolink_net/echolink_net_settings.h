#pragma once
// The EchoLink network's settings, kept in quillmere_echolink.ini in the program folder (section SETTINGS). Every key
// is optional; a value that cannot be used is named (file, key, value, why) and replaced by its default. The keys,
// their checks and their help are the rows of echoLinkSettingsTable() (echolink_net_settings.cpp); their defaults are
// the member initialisers below. A new key: a member here and a row there.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "platform/settings_table.h"

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

// Every key of quillmere_echolink.ini, in file order. A Location longer than 27 characters passes its check: it is cut
// when read, with a message.
const SettingsTable& echoLinkSettingsTable();

EchoLinkNetSettings readEchoLinkSettings(const ProfileFile& file, const std::string& fileName,
                                         std::vector<std::string>& problems);
EchoLinkNetSettings readEchoLinkSettings(const std::filesystem::path& path, std::vector<std::string>& problems);

}  // namespace qm::echolink_net
