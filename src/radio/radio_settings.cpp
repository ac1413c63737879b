#include "radio/radio_settings.h"

#include "platform/settings_binding.h"
#include "radio/lines.h"

namespace qm::radio {
namespace {

bool hasControl(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) return true;
  return false;
}

std::string callsignProblem(const std::string& value) {
  if (value.empty()) return "";
  if (value.size() > 12) return "is longer than 12 characters";
  for (char c : value)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '/'))
      return "may hold only letters, digits, \"-\" and \"/\"";
  if (value.find('-') == std::string::npos || value.front() == '-' || value.back() == '-')
    return "needs a \"-\" and a suffix, as in N0CALL-L or N0CALL-R";
  return "";
}

std::string commandProblem(const std::string& value) {
  return hasControl(value) ? "holds control characters" : "";
}

std::string portProblem(const std::string& value) {
  if (value.empty()) return "";
  const std::size_t colon = value.find(':');
  if (hasControl(value) || colon == std::string::npos || colon == 0 || colon + 1 == value.size())
    return "is not a JACK port name, CLIENT:PORT (system:capture_1)";
  return "";
}

std::string lineProblem(const std::string& value, LineUse use) {
  std::string error;
  if (parseLineSpec(value, use, error)) return "";
  // The message repeats the value, which the problem's own text already quotes.
  const std::string quoted = "\"" + value + "\"";
  if (error.rfind(quoted, 0) == 0)
    error.erase(0, error.compare(quoted.size(), 2, ": ") == 0 ? quoted.size() + 2 : quoted.size() + 1);
  return error;
}

std::string squelchProblem(const std::string& value) {
  return lineProblem(value, LineUse::Squelch);
}
std::string pttProblem(const std::string& value) {
  return lineProblem(value, LineUse::Ptt);
}

using K = SettingKind;
using S = RadioSettings;

const BoundSettings<S>& bound() {
  static const BoundSettings<S> table(
      kRadioSettingsFile,
      "The radio node (quillmere --node radio): its sound through JACK, its carrier detect and PTT lines, DTMF "
      "decoding and levels on the air. In the program folder.",
      {
          {&S::callsign,
           {.name = "Callsign",
            .help = "the node's own callsign with its -L or -R suffix; --callsign wins; empty: N0CALL-L",
            .check = callsignProblem,
            .example = "N0CALL-L"}},
          {&S::jackServer,
           {.name = "JackServer",
            .help = "the command that starts a JACK server when none runs; empty: never start one",
            .check = commandProblem,
            .example = "jackd --port-max 64 -d alsa -d hw:Device -r 48000 -p 1024 -n 3"}},
          {&S::capturePort,
           {.name = "CapturePort",
            .help = "the JACK port with the radio's receive audio, connected to quillmere:radio_in; empty: none "
                    "(jack_lsp lists them)",
            .check = portProblem,
            .example = "system:capture_1"}},
          {&S::playbackPort,
           {.name = "PlaybackPort",
            .help = "the JACK port feeding the radio's transmit audio, connected from quillmere:radio_out; empty: "
                    "none",
            .check = portProblem,
            .example = "system:playback_1"}},
          {&S::squelch,
           {.name = "Squelch",
            .help = "carrier detect: vox, serial:DEVICE:PIN (DCD, CTS, DSR, RI), cm108:DEVICE:PIN (VOL_UP, VOL_DN, "
                    "MUTE_PLAY, MUTE_REC), gpio:CHIP:LINE or pty:PATH; ! before PIN or LINE inverts it",
            .check = squelchProblem,
            .example = "cm108:/dev/hidraw0:VOL_DN"}},
          {&S::ptt,
           {.name = "Ptt",
            .help = "transmitter keying: none (a VOX-keyed radio), serial:DEVICE:PIN (RTS, DTR), cm108:DEVICE:PIN "
                    "(GPIO1 to GPIO4), gpio:CHIP:LINE or pty:PATH; ! before PIN or LINE inverts it",
            .check = pttProblem,
            .example = "cm108:/dev/hidraw0:GPIO3"}},
          {&S::txLimitSeconds,
           {.name = "TxLimit",
            .kind = K::Whole,
            .max = 3600,
            .unit = "seconds",
            .help = "the longest the node keeps the transmitter keyed in one go, whatever asks; 0: no limit"}},
          {&S::rxLimitSeconds,
           {.name = "RxLimit",
            .kind = K::Whole,
            .max = 3600,
            .unit = "seconds",
            .help = "a carrier held longer than this (a squelch stuck open, a radio left transmitting) counts as gone "
                    "until it drops: its audio stops reaching the stations and the call; 0: no limit"}},
          {&S::txDelayMs,
           {.name = "TxDelay",
            .kind = K::Whole,
            .max = 2000,
            .unit = "ms",
            .help = "from keying to the first audio (the transmitter settling)"}},
          {&S::txTailMs,
           {.name = "TxTail",
            .kind = K::Whole,
            .max = 5000,
            .unit = "ms",
            .help = "how long the transmitter stays keyed after the last audio"}},
          {&S::voxThresholdDbfs,
           {.name = "VoxThreshold",
            .kind = K::Number,
            .min = -90,
            .unit = "dBFS",
            .help = "the receive level that counts as a carrier (Squelch=vox)"}},
          {&S::voxAttackMs,
           {.name = "VoxAttack",
            .kind = K::Whole,
            .max = 5000,
            .unit = "ms",
            .help = "sound this long before the carrier counts"}},
          {&S::voxHangMs,
           {.name = "VoxHang",
            .kind = K::Whole,
            .max = 10000,
            .unit = "ms",
            .help = "quiet this long before the carrier drops"}},
          {&S::dtmfMinLevelDbfs,
           {.name = "DtmfMinLevel",
            .kind = K::Number,
            .min = -70,
            .unit = "dBFS",
            .help = "the weakest DTMF tone taken, per tone"}},
          {&S::dtmfMaxTwistDb,
           {.name = "DtmfMaxTwist",
            .kind = K::Number,
            .max = 20,
            .unit = "dB",
            .help = "how much stronger the high tone may be than the low one"}},
          {&S::dtmfMaxReverseTwistDb,
           {.name = "DtmfMaxReverseTwist",
            .kind = K::Number,
            .max = 20,
            .unit = "dB",
            .help = "how much stronger the low tone may be than the high one"}},
          {&S::dtmfMinToneMs,
           {.name = "DtmfMinTone",
            .kind = K::Whole,
            .min = 20,
            .max = 1000,
            .unit = "ms",
            .help = "the shortest DTMF tone taken"}},
          {&S::dtmfMinGapMs,
           {.name = "DtmfMinGap",
            .kind = K::Whole,
            .min = 10,
            .max = 1000,
            .unit = "ms",
            .help = "the silence before the same digit counts again"}},
          {&S::dtmfTimeoutSeconds,
           {.name = "DtmfTimeout",
            .kind = K::Whole,
            .max = 600,
            .unit = "seconds",
            .help = "digits heard while the carrier stays up are raised as one string after this long without "
                    "another; 0: only when the carrier drops"}},
          {&S::speechLevelDbfs,
           {.name = "SpeechLevel",
            .kind = K::Number,
            .min = -60,
            .unit = "dBFS",
            .help = "the peak level of speech on the transmit audio"}},
          {&S::cwLevelDbfs,
           {.name = "CwLevel",
            .kind = K::Number,
            .min = -60,
            .unit = "dBFS",
            .help = "the peak level of Morse on the transmit audio"}},
          {&S::cwToneHz,
           {.name = "CwTone",
            .kind = K::Whole,
            .min = 300,
            .max = 3000,
            .unit = "Hz",
            .help = "the Morse tone's pitch"}},
          {&S::cwSpeedWpm,
           {.name = "CwSpeed",
            .kind = K::Whole,
            .min = 5,
            .max = 60,
            .unit = "words per minute",
            .help = "the Morse speed"}},
          {&S::callPtt,
           {.name = "CallPtt",
            .kind = K::Choice,
            .choices = {"vox", "call"},
            .help = "what keys the transmitter during a phone call: vox, the far end's voice; call, the whole call "
                    "(a duplex repeater)"}},
          {&S::callVoxThresholdDbfs,
           {.name = "CallVoxThreshold",
            .kind = K::Number,
            .min = -90,
            .unit = "dBFS",
            .help = "the far end's level that keys the transmitter (CallPtt=vox)"}},
          {&S::callVoxAttackMs,
           {.name = "CallVoxAttack",
            .kind = K::Whole,
            .max = 5000,
            .unit = "ms",
            .help = "the far end's sound this long before keying"}},
          {&S::callVoxHangMs,
           {.name = "CallVoxHang",
            .kind = K::Whole,
            .max = 10000,
            .unit = "ms",
            .help = "quiet this long before the transmitter is released"}},
          {&S::callRxGainDb,
           {.name = "CallRxGain",
            .kind = K::Number,
            .min = -40,
            .max = 20,
            .unit = "dB",
            .help = "gain from the far end (quillmere:call_in) to the transmitter"}},
          {&S::callTxGainDb,
           {.name = "CallTxGain",
            .kind = K::Number,
            .min = -40,
            .max = 20,
            .unit = "dB",
            .help = "gain from the receiver to the far end"}},
          {&S::callDuckDb,
           {.name = "CallDuck",
            .kind = K::Number,
            .min = -60,
            .unit = "dB",
            .help = "how far the call is lowered under the program's speech and Morse"}},
      });
  return table;
}

}  // namespace

const SettingsTable& radioSettingsTable() {
  return bound().table();
}

const std::vector<RadioSettingKey>& radioSettingKeys() {
  static const std::vector<RadioSettingKey> keys = [] {
    std::vector<RadioSettingKey> out;
    for (const SettingKey& k : radioSettingsTable().keys()) out.push_back({k.name.c_str(), k.fallback.c_str()});
    return out;
  }();
  return keys;
}

RadioSettings readRadioSettings(const ProfileFile& file, const std::string& fileName,
                                std::vector<std::string>& problems) {
  RadioSettings s = bound().read(file, fileName, problems);
  // One pseudo-terminal path cannot be both lines: the second symlink would replace the first.
  std::string error;
  const auto squelch = parseLineSpec(s.squelch, LineUse::Squelch, error);
  const auto ptt = parseLineSpec(s.ptt, LineUse::Ptt, error);
  if (squelch && ptt && squelch->kind == "pty" && ptt->kind == "pty" && squelch->device == ptt->device) {
    problems.push_back(fileName + ": Squelch \"" + s.squelch +
                       "\" names the same pseudo-terminal as Ptt; using \"vox\" for Squelch instead.");
    s.squelch = "vox";
  }
  return s;
}

RadioSettings readRadioSettings(const std::filesystem::path& path, std::vector<std::string>& problems) {
  return readRadioSettings(ProfileFile::load(path, problems), path.string(), problems);
}

}  // namespace qm::radio
