#pragma once
// The SIP settings, kept in quillmere_sip.ini in the program folder (section SETTINGS), and the two files written
// from them for baresip each time it starts: its config and its accounts.
//
// Every key is optional; a value that cannot be used is named (file, key, value, why) and replaced by its default. The
// keys, their checks and their help are the rows of sipSettingsTable() (sip_settings.cpp); their defaults are the
// member initialisers below. A new key: a member here and a row there.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "platform/settings_table.h"
#include "sip/dial_plan.h"

namespace qm {

constexpr const char* kSipSettingsFile = "quillmere_sip.ini";

struct SipSettings {
  std::string account;
  std::string authUser;
  std::string password;
  bool registerAccount = true;
  int registerInterval = 600;
  std::string outbound;
  std::string accountOptions;
  std::string dialPattern;
  std::string internationalPrefix;
  std::string nameDomain;
  std::string audioDriver = "alsa";
  std::string inputDevice = "default";
  std::string outputDevice = "default";
  std::string listenAddress;
  int controlPort = 0;
  std::string program = "baresip";
  std::string modulePath = "/usr/lib/baresip/modules";
  // Not from the file: with the radio node the call's audio goes through JACK whatever AudioDriver says, as this
  // client name (its ports linked by the node), at the JACK server's rate.
  std::string jackClient;
  int jackRate = 48000;
  bool onJack() const { return !jackClient.empty() || audioDriver == "jack"; }
  // Whether the account registers with its provider (then it is added to baresip over the control channel).
  bool registers() const { return !account.empty() && registerAccount; }

  // The account used when none is set: calls go straight to the addresses dialled.
  static constexpr const char* kLocalAccount = "sip:quillmere@127.0.0.1";

  // The account's domain (host part, without a port); empty without an account.
  std::string accountDomain() const;
  DialPlan dialPlan() const;
  // Whether baresip must be restarted to use `other` (everything that goes into its files, and the account).
  bool agentDiffers(const SipSettings& other) const;

  bool operator==(const SipSettings&) const = default;
};

// Every key of quillmere_sip.ini, in file order.
const SettingsTable& sipSettingsTable();

// Reads the settings; a value that cannot be used is named in `problems` (file, key, value, why, what is used) and
// replaced by its default.
SipSettings readSipSettings(const ProfileFile& file, const std::string& fileName, std::vector<std::string>& problems);
SipSettings readSipSettings(const std::filesystem::path& path, std::vector<std::string>& problems);
// Why `value` cannot be used for `key`, or empty when it can.
std::string sipSettingProblem(const std::string& key, const std::string& value);

// baresip's files for these settings, its control channel on 127.0.0.1:controlPort.
std::string baresipConfig(const SipSettings& settings, int controlPort);
std::string baresipAccounts(const SipSettings& settings);
// The account's line of baresip's accounts file.
std::string baresipAccountLine(const SipSettings& settings);

}  // namespace qm
