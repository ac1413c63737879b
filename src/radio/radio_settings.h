#pragma once
// The radio node's settings, kept in quillmere_radio.ini in the program folder (section SETTINGS). Every key is
// optional; a value that cannot be used is named (file, key, value, why) and replaced by its default.
//
//   Callsign              the node's own callsign (must contain "-"); --callsign wins; empty: N0CALL-L
//   JackServer            the command that starts a JACK server when none runs; empty: never start one
//   CapturePort           the JACK port with the radio's receive audio, connected to quillmere:radio_in; empty: none
//   PlaybackPort          the JACK port feeding the radio's transmitter, connected from quillmere:radio_out
//   Squelch               carrier detect: vox, serial:DEV:PIN, cm108:DEV:PIN, gpio:CHIP:LINE, pty:PATH (lines.h)
//   Ptt                   transmitter keying: none, serial:DEV:PIN, cm108:DEV:PIN, gpio:CHIP:LINE, pty:PATH
//   TxLimit               seconds the node keeps the transmitter keyed in one go at most; 0: no limit
//   TxDelay               milliseconds between keying and the first audio (the radio's transmitter settling)
//   TxTail                milliseconds the transmitter stays keyed after the last audio
//   VoxThreshold          dBFS at which receive audio counts as a carrier (Squelch=vox)
//   VoxAttack, VoxHang    milliseconds of sound before the carrier counts, of quiet before it drops
//   DtmfMinLevel          dBFS: the weakest DTMF tone taken
//   DtmfMaxTwist          dB the high tone may be stronger than the low one; DtmfMaxReverseTwist the other way
//   DtmfMinTone, DtmfMinGap  milliseconds a tone must last, and the silence before the same digit counts again
//   DtmfTimeout           seconds: digits collected while the carrier stays up are raised as one string when no
//                         further digit arrives for this long; 0: only when the carrier drops
//   SpeechLevel, CwLevel  dBFS of speech and Morse on radio_out
//   CwTone, CwSpeed       the Morse tone in Hz and its speed in words per minute
//   CallPtt               what keys the transmitter during a phone call: vox (the far end's voice, default) or call
//                         (keyed for the whole call, a duplex repeater)
//   CallVoxThreshold      dBFS at which the far end's audio keys the transmitter; CallVoxAttack, CallVoxHang in ms
//   CallRxGain            dB from the far end (call_in) to the transmitter; CallTxGain dB from the receiver to the call
//   CallDuck              dB the call is lowered by under the program's speech and Morse
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile_file.h"

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
  int txDelayMs = 150;
  int txTailMs = 100;
  double voxThresholdDbfs = -40;
  int voxAttackMs = 50;
  int voxHangMs = 800;
  double dtmfMinLevelDbfs = -50;
  double dtmfMaxTwistDb = 8;
  double dtmfMaxReverseTwistDb = 4;
  int dtmfMinToneMs = 30;
  int dtmfMinGapMs = 30;
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
// Why `value` cannot be used for `key`, or empty when it can.
std::string radioSettingProblem(const std::string& key, const std::string& value);

}  // namespace qm::radio
