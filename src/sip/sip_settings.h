#pragma once
// The SIP settings, kept in quillmere_sip.ini in the program folder (section SETTINGS), and the two files written
// from them for baresip each time it starts: its config and its accounts.
//
// Keys (all optional):
//   Account              the SIP address of the account, sip:user@provider.example; empty: no provider, calls go
//                        straight to the SIP addresses dialled
//   AuthUser, Password   the credentials the provider asks for (AuthUser empty: the account's user)
//   Register             1 registers the account with the provider (default), 0 does not
//   Outbound             an outbound proxy, sip:proxy.example[;transport=tcp]; empty: none
//   AccountOptions       more account parameters for baresip, each ";name=value" (";transport=tcp")
//   DialPattern          the URI for phone numbers, {number} standing for the number: sip:{number}@provider.example;
//                        empty: sip:{number}@ the account's domain
//   InternationalPrefix  what a leading "+" or "00" of a number becomes ("+", "00" ...); empty: as dialled
//   NameDomain           where names are called: sip:NAME@NameDomain; empty: the account's domain
//   AudioDriver          baresip's audio module: alsa (default), pulse, portaudio, jack, oss ...
//   InputDevice          the sound device the call hears (the radio's receiver), default "default"
//   OutputDevice         the sound device the call is played on (the radio's transmitter), default "default"
//   ListenAddress        where SIP listens, ADDRESS:PORT; a specific address also carries the media; empty: any
//   ControlPort          baresip's control port on 127.0.0.1; 0 (default): a free port chosen at each start
//   Program              the baresip program, default "baresip" (found on the PATH)
//   ModulePath           where baresip's modules are, default /usr/lib/baresip/modules
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "sip/dial_plan.h"

namespace qm {

constexpr const char* kSipSettingsFile = "quillmere_sip.ini";

struct SipSettings {
  std::string account;
  std::string authUser;
  std::string password;
  bool registerAccount = true;
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

  // The account used when none is set: calls go straight to the addresses dialled.
  static constexpr const char* kLocalAccount = "sip:quillmere@127.0.0.1";

  // The account's domain (host part, without a port); empty without an account.
  std::string accountDomain() const;
  DialPlan dialPlan() const;
  // Whether baresip must be restarted to use `other` (everything that goes into its files).
  bool agentDiffers(const SipSettings& other) const;

  bool operator==(const SipSettings&) const = default;
};

// Every key in file order, with its default as the file holds it.
struct SipSettingKey {
  const char* key;
  const char* fallback;
};
const std::vector<SipSettingKey>& sipSettingKeys();

// Reads the settings; a value that cannot be used is named in `problems` (file, key, value, why, what is used) and
// replaced by its default.
SipSettings readSipSettings(const ProfileFile& file, const std::string& fileName, std::vector<std::string>& problems);
SipSettings readSipSettings(const std::filesystem::path& path, std::vector<std::string>& problems);
// Why `value` cannot be used for `key`, or empty when it can.
std::string sipSettingProblem(const std::string& key, const std::string& value);

// baresip's files for these settings, its control channel on 127.0.0.1:controlPort.
std::string baresipConfig(const SipSettings& settings, int controlPort);
std::string baresipAccounts(const SipSettings& settings);

}  // namespace qm
