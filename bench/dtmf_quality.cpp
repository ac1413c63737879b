// The DTMF decoder's quality beside multimon-ng's: the same 16-bit files at 22050 Hz through both. Generated tones
// (all digits, frequency error, twist, level, noise, tone and gap times) and talk-off on recorded material (speech,
// music, other sounds: 16-bit raw files at 22050 Hz that scripts/dtmf_quality.sh makes) under --material. Prints a
// Markdown table; a row's verdict compares each decoder with what the row expects, where it expects something.
//
//   dtmf_quality [--material DIR] [--work DIR] [--min-level DBFS] [--twist DB] [--reverse-twist DB]
//                [--min-tone MS] [--min-gap MS]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "radio/dtmf_decoder.h"
#include "radio/dtmf_mute.h"
#include "radio/radio_settings.h"
#include "radio_dsp_signals.h"

namespace fs = std::filesystem;
namespace ts = qm::radio::testsignals;
using qm::radio::DtmfDecoder;
using qm::radio::DtmfSettings;

namespace {

constexpr int kRate = 22050;  // multimon-ng's raw input rate
const std::string kAll = "123A456B789C*0#D";

fs::path workDir;
DtmfSettings settings;
double ourCpuSeconds = 0, ourAudioSeconds = 0;

std::vector<int16_t> toPcm(const std::vector<float>& audio) {
  std::vector<int16_t> pcm(audio.size());
  for (std::size_t i = 0; i < audio.size(); ++i)
    pcm[i] = static_cast<int16_t>(std::lround(std::clamp(audio[i], -1.0f, 1.0f) * 32767.0f));
  return pcm;
}

std::vector<int16_t> readPcm(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<int16_t> pcm(fs::file_size(file) / 2);
  in.read(reinterpret_cast<char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
  return pcm;
}

std::string ours(const fs::path& file) {
  const std::vector<int16_t> pcm = readPcm(file);
  DtmfDecoder decoder(kRate, settings);
  std::string heard;
  decoder.onDigit = [&](char d) { heard += d; };
  std::vector<float> chunk;
  const std::clock_t began = std::clock();
  for (std::size_t at = 0; at < pcm.size(); at += 1024) {
    chunk.clear();
    for (std::size_t i = at; i < std::min(pcm.size(), at + 1024); ++i) chunk.push_back(pcm[i] / 32768.0f);
    decoder.feed(chunk.data(), chunk.size());
  }
  ourCpuSeconds += static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC;
  ourAudioSeconds += static_cast<double>(pcm.size()) / kRate;
  return heard;
}

std::string multimon(const fs::path& file) {
  const std::string command = "multimon-ng -q -a DTMF -t raw '" + file.string() + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "?";
  std::string heard;
  char line[256];
  while (std::fgets(line, sizeof line, pipe))
    if (std::string_view(line).starts_with("DTMF: ")) heard += line[6];
  pclose(pipe);
  return heard;
}

// How many of `expected` were heard, in order, and how many digits were heard besides.
std::pair<int, int> score(const std::string& expected, const std::string& heard) {
  // Longest common subsequence: the digits heard in their place.
  std::vector<std::vector<int>> l(expected.size() + 1, std::vector<int>(heard.size() + 1));
  for (std::size_t i = 1; i <= expected.size(); ++i)
    for (std::size_t j = 1; j <= heard.size(); ++j)
      l[i][j] = expected[i - 1] == heard[j - 1] ? l[i - 1][j - 1] + 1 : std::max(l[i - 1][j], l[i][j - 1]);
  const int matched = l[expected.size()][heard.size()];
  return {matched, static_cast<int>(heard.size()) - matched};
}

enum class Expect { Accept, Reject, None };

struct Row {
  std::string what;
  Expect expect;
  std::string ourCell, theirCell;
  bool ourOk = true, theirOk = true;
  bool weAreWorse = false;
};
std::vector<Row> rows;

std::string cell(int matched, int extra, int total) {
  std::string s = std::to_string(matched) + "/" + std::to_string(total);
  if (extra) s += " +" + std::to_string(extra);
  return s;
}

// A row of generated tones: `expected` is what was keyed.
void toneRow(const std::string& what, Expect expect, const std::vector<float>& audio, const std::string& expected) {
  const fs::path file = workDir / ("row" + std::to_string(rows.size()) + ".raw");
  const std::vector<int16_t> pcm = toPcm(audio);
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
  const auto [om, oe] = score(expected, ours(file));
  const auto [tm, te] = score(expected, multimon(file));
  const int n = static_cast<int>(expected.size());
  Row row{what, expect, cell(om, oe, n), cell(tm, te, n)};
  if (expect == Expect::Accept) {
    row.ourOk = om == n && oe == 0;
    row.theirOk = tm == n && te == 0;
  } else if (expect == Expect::Reject) {
    row.ourOk = om + oe == 0;
    row.theirOk = tm + te == 0;
  }
  // Better is more digits found and fewer false; for rows without a verdict, more found (fewer false when equal).
  const int ourScore = expect == Expect::Reject ? -(om + oe) : om - oe,
            theirScore = expect == Expect::Reject ? -(tm + te) : tm - te;
  row.weAreWorse = ourScore < theirScore;
  rows.push_back(row);
  std::cerr << what << ": " << row.ourCell << " / " << row.theirCell << "\n";
}

std::string repeatAll(int times) {
  std::string keys;
  for (int i = 0; i < times; ++i) keys += kAll;
  return keys;
}

void generatedRows() {
  const std::string keys = repeatAll(4);
  toneRow("all 16 digits, 70 ms tone, 70 ms gap, -10 dBFS per tone", Expect::Accept, ts::digits(kRate, keys, 70, 70),
          keys);
  for (double dev : {-3.5, -3.0, -2.5, -2.0, -1.5, 1.5, 2.0, 2.5, 3.0, 3.5}) {
    char what[96];
    std::snprintf(what, sizeof what, "frequency %+.1f %%", dev);
    const Expect e = std::abs(dev) <= 1.5 ? Expect::Accept : std::abs(dev) >= 3.5 ? Expect::Reject : Expect::None;
    toneRow(what, e, ts::digits(kRate, keys, 70, 70, {.deviation = dev / 100}), keys);
  }
  for (double twist : {-8.0, -6.0, -3.0, -2.0, 3.0, 6.0, 7.0, 10.0, 12.0}) {
    char what[96];
    std::snprintf(what, sizeof what, "twist %+.0f dB (%s tone stronger)", twist, twist > 0 ? "high" : "low");
    // spandsp weighs the twist per 12.75 ms block, and the other tone's leakage moves that by a dB or so.
    const double limit = twist > 0 ? settings.maxTwistDb : settings.maxReverseTwistDb;
    const Expect e = std::abs(twist) <= limit - 2   ? Expect::Accept
                     : std::abs(twist) >= limit + 2 ? Expect::Reject
                                                    : Expect::None;
    toneRow(what, e, ts::digits(kRate, keys, 70, 70, {.levelDbfs = -12, .twistDb = twist}), keys);
  }
  for (double level : {-3.0, -10.0, -20.0, -30.0, -40.0, -47.0, -50.0, -55.0, -60.0}) {
    char what[96];
    std::snprintf(what, sizeof what, "level %.0f dBFS per tone", level);
    const Expect e = level >= settings.minLevelDbfs + 2   ? Expect::Accept
                     : level <= settings.minLevelDbfs - 3 ? Expect::Reject
                                                          : Expect::None;
    toneRow(what, e, ts::digits(kRate, keys, 70, 70, {.levelDbfs = level}), keys);
  }
  // S/N: the two tones' power to the white noise's in the whole band of the file (0 to 11 kHz).
  for (double snr : {20.0, 12.0, 6.0, 3.0, 0.0, -3.0, -6.0}) {
    char what[96];
    std::snprintf(what, sizeof what, "white noise, S/N %.0f dB (tones -10 dBFS each)", snr);
    auto audio = ts::digits(kRate, keys, 70, 70);
    ts::addNoise(audio, -10 - snr);  // the pair at -10 dBFS peak each has -10 dBFS RMS
    toneRow(what, snr >= 12 ? Expect::Accept : Expect::None, audio, keys);
  }
  for (double ms : {20.0, 25.0, 30.0, 35.0, 40.0}) {
    char what[96];
    std::snprintf(what, sizeof what, "tone %.0f ms, gap 100 ms (minimum %d ms)", ms, settings.minToneMs);
    const Expect e = ms >= settings.minToneMs ? Expect::Accept : ms <= 20 ? Expect::Reject : Expect::None;
    toneRow(what, e, ts::digits(kRate, keys, ms, 100), keys);
  }
  // A held key interrupted for 10 ms (a fade on the radio path) is one press; the same digit twice with a gap
  // between counts twice from the minimum gap on.
  {
    std::vector<float> audio;
    ts::appendSilence(audio, kRate, 100);
    for (char c : kAll) {
      ts::appendDigit(audio, kRate, c, 80);
      ts::appendSilence(audio, kRate, 10);
      ts::appendDigit(audio, kRate, c, 80);
      ts::appendSilence(audio, kRate, 100);
    }
    toneRow("held key, 80 ms + 10 ms interruption + 80 ms (one press)", Expect::Accept, audio, kAll);
  }
  for (double ms : {20.0, 30.0, 40.0, 60.0}) {
    char what[96];
    std::snprintf(what, sizeof what, "same digit twice, 80 ms tones, gap %.0f ms (minimum %d ms)", ms,
                  settings.minGapMs);
    std::string doubled;
    for (char c : kAll) doubled += std::string(2, c);
    // Below the minimum gap the two tones are one press held through a fade.
    if (ms >= settings.minGapMs)
      toneRow(what, Expect::Accept, ts::digits(kRate, doubled, 80, ms), doubled);
    else
      toneRow(std::string(what) + ", one press", Expect::Accept, ts::digits(kRate, doubled, 80, ms), kAll);
  }
}

// What the decoder and the mute cost a node at a sound card's rate: a minute of quiet receiver noise in JACK-sized
// periods, CPU time over audio time.
double idleLoad(int rate) {
  std::vector<float> noise(static_cast<std::size_t>(rate) * 60, 0.0f);
  ts::addNoise(noise, -60);
  DtmfDecoder decoder(rate, settings);
  qm::radio::DtmfMute mute(decoder, rate);
  std::vector<float> out(1024);
  const std::clock_t began = std::clock();
  for (std::size_t at = 0; at + 1024 <= noise.size(); at += 1024) mute.process(noise.data() + at, out.data(), 1024);
  return static_cast<double>(std::clock() - began) / CLOCKS_PER_SEC / 60;
}

// Digits keyed while someone talks: speech from the material 12 dB under its level there (peaks near -15 dBFS),
// with the tones at -10 dBFS each on top of it.
void digitsInSpeechRow(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir / "speech"))
    if (entry.path().filename().string().starts_with("espeak_en")) files.push_back(entry.path());
  if (files.empty()) return;
  std::sort(files.begin(), files.end());
  const std::vector<int16_t> speech = readPcm(files.front());
  const std::string keys = repeatAll(4);
  std::vector<float> audio = ts::digits(kRate, keys, 70, 300);
  for (std::size_t i = 0; i < audio.size() && i < speech.size(); ++i) audio[i] += 0.25f * speech[i] / 32768.0f;
  toneRow("digits over speech (speech peaks about -15 dBFS)", Expect::Accept, audio, keys);
}

struct Material {
  double seconds = 0;
  int files = 0;
  std::string ours, theirs;
};

void talkOffRows(const fs::path& dir) {
  std::map<std::string, Material> groups;  // by "category/name" before the first '-' of the file name
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.path().extension() == ".raw") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::string stem = file.stem().string();
    const std::string group = file.parent_path().filename().string() + ": " + stem.substr(0, stem.find('-'));
    Material& m = groups[group];
    m.seconds += static_cast<double>(fs::file_size(file)) / 2 / kRate;
    ++m.files;
    m.ours += ours(file);
    m.theirs += multimon(file);
  }
  std::map<std::string, Material> totals;
  for (const auto& [name, m] : groups) {
    Material& t = totals[name.substr(0, name.find(':'))];
    t.seconds += m.seconds;
    t.files += m.files;
    t.ours += m.ours;
    t.theirs += m.theirs;
  }
  const auto add = [](const std::string& what, const Material& m) {
    char minutes[32];
    std::snprintf(minutes, sizeof minutes, " (%.1f min)", m.seconds / 60);
    const auto perHour = [&](const std::string& heard) {
      char s[64];
      std::snprintf(s, sizeof s, "%zu (%.1f/h)", heard.size(), static_cast<double>(heard.size()) * 3600 / m.seconds);
      std::string cell(s);
      if (!heard.empty()) cell.append(" ").append(heard, 0, 12);
      return cell;
    };
    Row row{"talk-off, " + what + minutes, Expect::Reject, perHour(m.ours), perHour(m.theirs)};
    row.ourOk = m.ours.empty();
    row.theirOk = m.theirs.empty();
    row.weAreWorse = m.ours.size() > m.theirs.size();
    rows.push_back(row);
    std::cerr << row.what << ": " << row.ourCell << " / " << row.theirCell << "\n";
  };
  for (const auto& [name, m] : groups) add(name, m);
  for (const auto& [name, m] : totals) add(name + ", all", m);
}

}  // namespace

int main(int argc, char** argv) {
  const qm::radio::RadioSettings defaults;
  settings = {defaults.dtmfMinLevelDbfs, defaults.dtmfMaxTwistDb, defaults.dtmfMaxReverseTwistDb,
              defaults.dtmfMinToneMs, defaults.dtmfMinGapMs};
  fs::path material;
  workDir = fs::temp_directory_path() / ("dtmf_quality." + std::to_string(getpid()));
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--material")
      material = value;
    else if (option == "--work")
      workDir = value;
    else if (option == "--min-level")
      settings.minLevelDbfs = std::stod(value);
    else if (option == "--twist")
      settings.maxTwistDb = std::stod(value);
    else if (option == "--reverse-twist")
      settings.maxReverseTwistDb = std::stod(value);
    else if (option == "--min-tone")
      settings.minToneMs = std::stoi(value);
    else if (option == "--min-gap")
      settings.minGapMs = std::stoi(value);
    else {
      std::cerr << "dtmf_quality: unknown option " << option << "\n";
      return 2;
    }
  }
  if (std::system("command -v multimon-ng >/dev/null") != 0) {
    std::cerr << "dtmf_quality: multimon-ng is not installed\n";
    return 1;
  }
  fs::create_directories(workDir);
  generatedRows();
  if (!material.empty()) {
    digitsInSpeechRow(material);
    talkOffRows(material);
  }

  std::printf(
      "Settings: DtmfMinLevel %.0f dBFS, DtmfMaxTwist %.0f dB, DtmfMaxReverseTwist %.0f dB, DtmfMinTone %d ms, "
      "DtmfMinGap %d ms.\n\n",
      settings.minLevelDbfs, settings.maxTwistDb, settings.maxReverseTwistDb, settings.minToneMs, settings.minGapMs);
  std::printf("| signal | expected | Quillmere | multimon-ng |\n|---|---|---|---|\n");
  int worse = 0, ourFailures = 0;
  for (const Row& r : rows) {
    const char* expected = r.expect == Expect::Accept ? "all" : r.expect == Expect::Reject ? "none" : "";
    const auto mark = [&](const std::string& c, bool ok) {
      return r.expect == Expect::None ? c : c + (ok ? "" : " ✗");
    };
    std::printf("| %s | %s | %s | %s |\n", r.what.c_str(), expected, mark(r.ourCell, r.ourOk).c_str(),
                mark(r.theirCell, r.theirOk).c_str());
    worse += r.weAreWorse;
    ourFailures += r.expect != Expect::None && !r.ourOk;
  }
  std::printf("\nRows where Quillmere did worse than multimon-ng: %d; rows where it missed the expectation: %d.\n",
              worse, ourFailures);
  std::printf("Decoder CPU: %.1f s for %.1f min of audio at 22050 Hz (%.2f %% of a core).\n", ourCpuSeconds,
              ourAudioSeconds / 60, 100 * ourCpuSeconds / ourAudioSeconds);
  for (int rate : {48000, 44100, 16000})
    std::printf("Decoder and mute, idle at %d Hz, 1024-sample periods: %.2f %% of a core.\n", rate,
                100 * idleLoad(rate));
  fs::remove_all(workDir);
  return 0;
}
