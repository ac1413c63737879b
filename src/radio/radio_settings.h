#pragma once
// The radio node's settings, kept in quillmere_radio.ini in the program folder (section SETTINGS). Every key is
// optional; a value that cannot be used is named (file, key, value, why) and replaced by its default. The keys, their
// ranges and their help are the rows of radioSettingsTable() (radio_settings.cpp); their defaults are the member
// initialisers below. A new key: a member here and a row there.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "platform/settings_table.h"
#include "radio/dtmf_decoder.h"

namespace qm::radio {

constexpr const char* kRadioSettingsFile = "quillmere_radio.ini";

struct RadioSettings {
  std::string callsign;
  std::string jackServer = "jackd -d alsa -d hw:0 -r 48000 -p 1024 -n 3";
  std::string capturePort;
  std::string playbackPort;
  std::string squelch = "vox";
  std::string ptt = "none";
  int txLimitSeconds = 300;
  int rxLimitSeconds = 180;
  int txDelayMs = 150;
  int txTailMs = 100;
  double voxThresholdDbfs = -40;
  int voxAttackMs = 50;
  int voxHangMs = 800;
  double dtmfMinLevelDbfs = DtmfSettings{}.minLevelDbfs;
  double dtmfMaxTwistDb = DtmfSettings{}.maxTwistDb;
  double dtmfMaxReverseTwistDb = DtmfSettings{}.maxReverseTwistDb;
  int dtmfMinToneMs = DtmfSettings{}.minToneMs;
  int dtmfMinGapMs = DtmfSettings{}.minGapMs;
  int dtmfTimeoutSeconds = 10;
  double speechLevelDbfs = -6;
  double cwLevelDbfs = -10;
  int cwToneHz = 700;
  int cwSpeedWpm = 20;
  std::string callPtt = "vox";
  double callVoxThresholdDbfs = -45;
  int callVoxAttackMs = 20;
  int callVoxHangMs = 1000;
  double callRxGainDb = 0;
  double callTxGainDb = 0;
  double callDuckDb = -20;

  bool operator==(const RadioSettings&) const = default;
};

// Every key of quillmere_radio.ini, in file order.
const SettingsTable& radioSettingsTable();

// Every key in file order, with its default as the file holds it.
struct RadioSettingKey {
  const char* key;
  const char* fallback;
};
const std::vector<RadioSettingKey>& radioSettingKeys();

// Reads the settings; every value that cannot be used is named in `problems` and replaced by its default.
RadioSettings readRadioSettings(const ProfileFile& file, const std::string& fileName,
                                std::vector<std::string>& problems);
RadioSettings readRadioSettings(const std::filesystem::path& path, std::vector<std::string>& problems);

}  // namespace qm::radio
