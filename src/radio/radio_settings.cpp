#include "radio/radio_settings.h"

#include <cmath>
#include <cstdlib>

#include "radio/lines.h"

namespace qm::radio {
namespace {

struct Range {
  const char* key;
  double min, max;
  bool whole;  // a whole number
  const char* unit;
};

// The numeric keys and the values a radio can use.
constexpr Range kRanges[] = {
    {"TxLimit", 0, 3600, true, "seconds"},
    {"TxDelay", 0, 2000, true, "ms"},
    {"TxTail", 0, 5000, true, "ms"},
    {"VoxThreshold", -90, 0, false, "dBFS"},
    {"VoxAttack", 0, 5000, true, "ms"},
    {"VoxHang", 0, 10000, true, "ms"},
    {"DtmfMinLevel", -70, 0, false, "dBFS"},
    {"DtmfMaxTwist", 0, 20, false, "dB"},
    {"DtmfMaxReverseTwist", 0, 20, false, "dB"},
    {"DtmfMinTone", 20, 1000, true, "ms"},
    {"DtmfMinGap", 10, 1000, true, "ms"},
    {"DtmfTimeout", 0, 600, true, "seconds"},
    {"SpeechLevel", -60, 0, false, "dBFS"},
    {"CwLevel", -60, 0, false, "dBFS"},
    {"CwTone", 300, 3000, true, "Hz"},
    {"CwSpeed", 5, 60, true, "words per minute"},
    {"CallVoxThreshold", -90, 0, false, "dBFS"},
    {"CallVoxAttack", 0, 5000, true, "ms"},
    {"CallVoxHang", 0, 10000, true, "ms"},
    {"CallRxGain", -40, 20, false, "dB"},
    {"CallTxGain", -40, 20, false, "dB"},
    {"CallDuck", -60, 0, false, "dB"},
};

const Range* rangeOf(const std::string& key) {
  for (const Range& range : kRanges)
    if (key == range.key) return &range;
  return nullptr;
}

std::string number(double value) {
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

bool hasControl(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) return true;
  return false;
}

// The value as a number, when all of it is one (no blanks, no units, no hex).
bool parseNumber(const std::string& text, bool whole, double& value) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || (!whole && c == '.'))) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

}  // namespace

const std::vector<RadioSettingKey>& radioSettingKeys() {
  static const std::vector<RadioSettingKey> keys = {
      {"Callsign", ""},
      {"JackServer", "jackd -d alsa -d hw:0 -r 48000 -p 1024 -n 3"},
      {"CapturePort", ""},
      {"PlaybackPort", ""},
      {"Squelch", "vox"},
      {"Ptt", "none"},
      {"TxLimit", "300"},
      {"TxDelay", "150"},
      {"TxTail", "100"},
      {"VoxThreshold", "-40"},
      {"VoxAttack", "50"},
      {"VoxHang", "800"},
      {"DtmfMinLevel", "-50"},
      {"DtmfMaxTwist", "8"},
      {"DtmfMaxReverseTwist", "4"},
      {"DtmfMinTone", "30"},
      {"DtmfMinGap", "30"},
      {"DtmfTimeout", "10"},
      {"SpeechLevel", "-6"},
      {"CwLevel", "-10"},
      {"CwTone", "700"},
      {"CwSpeed", "20"},
      {"CallPtt", "vox"},
      {"CallVoxThreshold", "-45"},
      {"CallVoxAttack", "20"},
      {"CallVoxHang", "1000"},
      {"CallRxGain", "0"},
      {"CallTxGain", "0"},
      {"CallDuck", "-20"},
  };
  return keys;
}

std::string radioSettingProblem(const std::string& key, const std::string& value) {
  if (key == "Callsign") {
    if (value.empty()) return "";
    if (value.size() > 12) return "is longer than 12 characters";
    for (char c : value)
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '/'))
        return "may hold only letters, digits, \"-\" and \"/\"";
    if (value.find('-') == std::string::npos || value.front() == '-' || value.back() == '-')
      return "needs a \"-\" and a suffix, as in N0CALL-L or N0CALL-R";
    return "";
  }
  if (key == "CallPtt") return value == "vox" || value == "call" ? "" : "is neither vox nor call";
  if (key == "JackServer") return hasControl(value) ? "holds control characters" : "";
  if (key == "CapturePort" || key == "PlaybackPort") {
    if (value.empty()) return "";
    const std::size_t colon = value.find(':');
    if (hasControl(value) || colon == std::string::npos || colon == 0 || colon + 1 == value.size())
      return "is not a JACK port name, CLIENT:PORT (system:capture_1)";
    return "";
  }
  if (key == "Squelch" || key == "Ptt") {
    std::string error;
    if (parseLineSpec(value, key == "Ptt" ? LineUse::Ptt : LineUse::Squelch, error)) return "";
    // The message repeats the value, which the problem's own text already quotes.
    const std::string quoted = "\"" + value + "\"";
    if (error.rfind(quoted, 0) == 0)
      error.erase(0, error.compare(quoted.size(), 2, ": ") == 0 ? quoted.size() + 2 : quoted.size() + 1);
    return error;
  }
  if (const Range* range = rangeOf(key)) {
    double parsed = 0;
    if (!parseNumber(value, range->whole, parsed) || parsed < range->min || parsed > range->max)
      return std::string("is not ") + (range->whole ? "a whole number" : "a number") + " from " + number(range->min) +
             " to " + number(range->max) + " (" + range->unit + ")";
    return "";
  }
  return "";
}

RadioSettings readRadioSettings(const ProfileFile& file, const std::string& fileName,
                                std::vector<std::string>& problems) {
  const auto fallbackOf = [](const std::string& key) {
    for (const RadioSettingKey& k : radioSettingKeys())
      if (key == k.key) return std::string(k.fallback);
    return std::string();
  };
  const auto value = [&](const std::string& key) {
    const std::string fallback = fallbackOf(key);
    const auto stored = file.get("SETTINGS", key);
    if (!stored) return fallback;
    if (const std::string why = radioSettingProblem(key, *stored); !why.empty()) {
      problems.push_back(fileName + ": the value \"" + *stored + "\" of " + key + " " + why + "; using \"" + fallback +
                         "\" instead.");
      return fallback;
    }
    return *stored;
  };
  const auto whole = [&](const std::string& key) { return static_cast<int>(std::lround(std::stod(value(key)))); };
  const auto real = [&](const std::string& key) { return std::stod(value(key)); };
  RadioSettings s;
  s.callsign = value("Callsign");
  s.jackServer = value("JackServer");
  s.capturePort = value("CapturePort");
  s.playbackPort = value("PlaybackPort");
  s.squelch = value("Squelch");
  s.ptt = value("Ptt");
  s.txLimitSeconds = whole("TxLimit");
  s.txDelayMs = whole("TxDelay");
  s.txTailMs = whole("TxTail");
  s.voxThresholdDbfs = real("VoxThreshold");
  s.voxAttackMs = whole("VoxAttack");
  s.voxHangMs = whole("VoxHang");
  s.dtmfMinLevelDbfs = real("DtmfMinLevel");
  s.dtmfMaxTwistDb = real("DtmfMaxTwist");
  s.dtmfMaxReverseTwistDb = real("DtmfMaxReverseTwist");
  s.dtmfMinToneMs = whole("DtmfMinTone");
  s.dtmfMinGapMs = whole("DtmfMinGap");
  s.dtmfTimeoutSeconds = whole("DtmfTimeout");
  s.speechLevelDbfs = real("SpeechLevel");
  s.cwLevelDbfs = real("CwLevel");
  s.cwToneHz = whole("CwTone");
  s.cwSpeedWpm = whole("CwSpeed");
  s.callPtt = value("CallPtt");
  s.callVoxThresholdDbfs = real("CallVoxThreshold");
  s.callVoxAttackMs = whole("CallVoxAttack");
  s.callVoxHangMs = whole("CallVoxHang");
  s.callRxGainDb = real("CallRxGain");
  s.callTxGainDb = real("CallTxGain");
  s.callDuckDb = real("CallDuck");
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
