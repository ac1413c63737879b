// The radio's DSP: the DTMF decoder (digits, held keys, repeats, timing, twist and level limits, card rates), the
// mute that cuts tones out of the audio that goes on, and the VOX's attack and hang.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "radio/audio_level.h"
#include "radio/dtmf_decoder.h"
#include "radio/dtmf_mute.h"
#include "radio/resampler.h"
#include "radio/vox.h"
#include "radio_dsp_signals.h"

namespace qm::radio {
namespace {

namespace ts = testsignals;

std::string decode(const std::vector<float>& audio, int rate, const DtmfSettings& settings = {},
                   std::size_t chunk = 256) {
  DtmfDecoder decoder(rate, settings);
  std::string heard;
  decoder.onDigit = [&](char d) { heard += d; };
  for (std::size_t at = 0; at < audio.size(); at += chunk)
    decoder.feed(audio.data() + at, std::min(chunk, audio.size() - at));
  return heard;
}

const std::string kAllDigits = "123A456B789C*0#D";

TEST(DtmfDecoder, HearsAllSixteenDigitsAtEveryCardRate) {
  for (int rate : {8000, 16000, 44100, 48000}) {
    SCOPED_TRACE(rate);
    EXPECT_EQ(decode(ts::digits(rate, kAllDigits, 70, 70), rate), kAllDigits);
    // Blocks of any size, down to single samples, give the same digits.
    EXPECT_EQ(decode(ts::digits(rate, "95#", 70, 70), rate, {}, 1), "95#");
    EXPECT_EQ(decode(ts::digits(rate, "95#", 70, 70), rate, {}, 4096), "95#");
  }
}

TEST(DtmfDecoder, HeldKeyIsOneDigit) {
  EXPECT_EQ(decode(ts::digits(48000, "7", 3000, 0), 48000), "7");
  // A held key whose signal drops out for less than the minimum gap (a fade on the radio path) stays one press.
  for (double dropoutMs : {5.0, 10.0, 15.0, 25.0}) {
    std::vector<float> fading;
    ts::appendSilence(fading, 48000, 100);
    for (int part = 0; part < 4; ++part) {
      ts::appendDigit(fading, 48000, '7', 200);
      ts::appendSilence(fading, 48000, dropoutMs);
    }
    ts::appendSilence(fading, 48000, 100);
    EXPECT_EQ(decode(fading, 48000), "7") << dropoutMs;
  }
}

// `audio` after `leadMs` of silence, for sliding a signal against spandsp's 12.75 ms blocks.
std::vector<float> after(double leadMs, const std::vector<float>& audio) {
  std::vector<float> out;
  ts::appendSilence(out, 48000, leadMs);
  out.insert(out.end(), audio.begin(), audio.end());
  return out;
}

TEST(DtmfDecoder, RepeatedDigitNeedsTheMinimumGap) {
  // Wherever the gap falls, the minimum (30 ms) counts the digit again and 20 ms does not.
  for (double leadMs = 0; leadMs < 13; leadMs += 1.3) {
    SCOPED_TRACE(leadMs);
    EXPECT_EQ(decode(after(leadMs, ts::digits(48000, "555", 60, 30)), 48000), "555");
    EXPECT_EQ(decode(after(leadMs, ts::digits(48000, "555", 60, 20)), 48000), "5");
  }
  DtmfSettings longGap;
  longGap.minGapMs = 150;
  EXPECT_EQ(decode(ts::digits(48000, "55", 60, 140), 48000, longGap), "5");
  EXPECT_EQ(decode(ts::digits(48000, "55", 60, 150), 48000, longGap), "55");
  // A different digit needs no gap at all.
  EXPECT_EQ(decode(ts::digits(48000, "1", 60, 0), 48000) + decode(ts::digits(48000, "12", 60, 0), 48000), "112");
}

TEST(DtmfDecoder, ToneMustLastTheMinimum) {
  // Wherever the tone falls, the minimum (30 ms) counts and 24 ms does not; the same with a minimum of 40 ms.
  DtmfSettings forty;
  forty.minToneMs = 40;
  for (double leadMs = 0; leadMs < 13; leadMs += 1.3) {
    SCOPED_TRACE(leadMs);
    EXPECT_EQ(decode(after(leadMs, ts::digits(48000, "4", 30, 100)), 48000), "4");
    EXPECT_EQ(decode(after(leadMs, ts::digits(48000, "4", 24, 100)), 48000), "");
    EXPECT_EQ(decode(after(leadMs, ts::digits(48000, "4", 40, 100)), 48000, forty), "4");
    EXPECT_EQ(decode(after(leadMs, ts::digits(48000, "4", 34, 100)), 48000, forty), "");
  }
  DtmfSettings slow;
  slow.minToneMs = 100;
  EXPECT_EQ(decode(ts::digits(48000, "4", 92, 100), 48000, slow), "");
  EXPECT_EQ(decode(ts::digits(48000, "4", 100, 100), 48000, slow), "4");
}

TEST(DtmfDecoder, TwistLimitsFollowTheSettings) {
  // Positive twist: the high tone stronger. The defaults take 8 dB that way and 4 dB the other.
  const auto withTwist = [](double twistDb, const DtmfSettings& settings = {}) {
    return decode(ts::digits(48000, "8", 80, 80, {.levelDbfs = -12, .twistDb = twistDb}), 48000, settings);
  };
  EXPECT_EQ(withTwist(6.5), "8");
  EXPECT_EQ(withTwist(10), "");
  EXPECT_EQ(withTwist(-2.5), "8");
  EXPECT_EQ(withTwist(-6), "");
  DtmfSettings strict;
  strict.maxTwistDb = 2;
  strict.maxReverseTwistDb = 2;
  EXPECT_EQ(withTwist(0.5, strict), "8");
  EXPECT_EQ(withTwist(4, strict), "");
  EXPECT_EQ(withTwist(-4, strict), "");
}

TEST(DtmfDecoder, LevelLimitFollowsTheSettings) {
  const auto atLevel = [](double dbfs, const DtmfSettings& settings = {}) {
    return decode(ts::digits(48000, "0", 80, 80, {.levelDbfs = dbfs}), 48000, settings);
  };
  EXPECT_EQ(atLevel(-3), "0");
  EXPECT_EQ(atLevel(-47), "0");
  EXPECT_EQ(atLevel(-53), "");
  DtmfSettings deaf;
  deaf.minLevelDbfs = -20;
  EXPECT_EQ(atLevel(-17, deaf), "0");
  EXPECT_EQ(atLevel(-23, deaf), "");
}

// Long silences let the decoder rest; a tone after one, at the level limit or the shortest time, is heard whole, and
// the same key again after one is a second digit.
TEST(DtmfDecoder, DigitsAfterLongSilencesAreHeardAsAfterShortOnes) {
  std::vector<float> audio;
  ts::appendSilence(audio, 48000, 3000);
  ts::appendDigit(audio, 48000, '5', 30);
  ts::appendSilence(audio, 48000, 2000);
  ts::appendDigit(audio, 48000, '5', 40, {.levelDbfs = -47});
  ts::appendSilence(audio, 48000, 1000);
  ts::appendDigit(audio, 48000, '#', 25);  // too short, however long the rest before it
  ts::appendSilence(audio, 48000, 1000);
  EXPECT_EQ(decode(audio, 48000, {}, 48), "55");  // 1 ms at a time, as the node feeds it
}

TEST(DtmfDecoder, RejectsTonesOffFrequencyAndSilenceAndNoise) {
  EXPECT_EQ(decode(ts::digits(48000, kAllDigits, 70, 70, {.deviation = 0.015}), 48000), kAllDigits);
  EXPECT_EQ(decode(ts::digits(48000, kAllDigits, 70, 70, {.deviation = -0.015}), 48000), kAllDigits);
  EXPECT_EQ(decode(ts::digits(48000, kAllDigits, 70, 70, {.deviation = 0.035}), 48000), "");
  EXPECT_EQ(decode(ts::digits(48000, kAllDigits, 70, 70, {.deviation = -0.035}), 48000), "");
  std::vector<float> noise(48000 * 5, 0.0f);
  ts::addNoise(noise, -15);
  EXPECT_EQ(decode(noise, 48000), "");
}

TEST(DtmfDecoder, NoteWithItsOctaveIsNoDigit) {
  // A held note of 670 Hz with its second harmonic reads in spandsp's short blocks as 697 + 1336 Hz ("2"), wherever
  // it falls against them; its frequencies are 4% off.
  for (double leadMs = 0; leadMs < 13; leadMs += 2.6) {
    SCOPED_TRACE(leadMs);
    std::vector<float> note;
    ts::appendSilence(note, 8000, 100 + leadMs);
    for (int i = 0; i < 8000 * 3 / 10; ++i) {
      const double t = i / 8000.0;
      note.push_back(0.1f * static_cast<float>(std::sin(2 * std::numbers::pi * 670 * t) +
                                               std::sin(2 * std::numbers::pi * 1340 * t)));
    }
    ts::appendSilence(note, 8000, 100);
    EXPECT_EQ(decode(note, 8000), "");
  }
}

TEST(DtmfDecoder, ToneActiveWhileTheToneLasts) {
  DtmfDecoder decoder(48000, {});
  std::vector<float> audio;
  ts::appendSilence(audio, 48000, 100);
  decoder.feed(audio.data(), audio.size());
  EXPECT_FALSE(decoder.toneActive());
  audio.clear();
  ts::appendDigit(audio, 48000, '#', 200);
  decoder.feed(audio.data(), audio.size());
  EXPECT_TRUE(decoder.toneActive());
  audio.clear();
  ts::appendSilence(audio, 48000, 60);
  decoder.feed(audio.data(), audio.size());
  EXPECT_FALSE(decoder.toneActive());
}

// The energy at `hz` in audio[from, to), as the power of a sine of that frequency would be measured.
double powerAt(const std::vector<float>& audio, std::size_t from, std::size_t to, double hz, int rate) {
  const double w = 2 * std::numbers::pi * hz / rate;
  double re = 0, im = 0;
  for (std::size_t i = from; i < to; ++i) {
    re += audio[i] * std::cos(w * static_cast<double>(i));
    im += audio[i] * std::sin(w * static_cast<double>(i));
  }
  const double n = static_cast<double>(to - from);
  return (re * re + im * im) / (n * n);
}

TEST(DtmfMute, CutsTheToneOutOfSpeech) {
  const int rate = 48000;
  // A voice-like signal: a 140 Hz buzz with its harmonics up to 3 kHz, slowly swelling, at about -20 dBFS.
  std::vector<float> audio(static_cast<std::size_t>(rate) * 2);
  for (std::size_t i = 0; i < audio.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    double x = 0;
    for (int h = 1; h * 140 < 3000; ++h) x += std::sin(2 * std::numbers::pi * 140 * h * t + h) / h;
    audio[i] = static_cast<float>(0.05 * (1.2 + std::sin(2 * std::numbers::pi * 3 * t)) * x);
  }
  // The digit 6 (770 + 1477 Hz, -10 dBFS each) from 0.8 s to 0.95 s.
  std::vector<float> tone;
  ts::appendDigit(tone, rate, '6', 150);
  const std::size_t toneStart = static_cast<std::size_t>(rate) * 8 / 10, toneEnd = toneStart + tone.size();
  for (std::size_t i = 0; i < tone.size(); ++i) audio[toneStart + i] += tone[i];

  DtmfDecoder decoder(rate, {});
  std::string heard;
  decoder.onDigit = [&](char d) { heard += d; };
  DtmfMute mute(decoder, rate);
  std::vector<float> out(audio.size());
  for (std::size_t at = 0; at < audio.size(); at += 480)
    mute.process(audio.data() + at, out.data() + at, std::min<std::size_t>(480, audio.size() - at));
  EXPECT_EQ(heard, "6");

  const std::size_t delay = static_cast<std::size_t>(rate) * static_cast<std::size_t>(mute.delayMs()) / 1000;
  for (double hz : {770.0, 1477.0}) {
    const double before = powerAt(audio, toneStart, toneEnd, hz, rate);
    const double after = powerAt(out, toneStart + delay, toneEnd + delay, hz, rate);
    EXPECT_LT(10 * std::log10(after / before), -40) << hz << " Hz";
  }
  // Away from the tone the audio passes unchanged, only delayed.
  for (std::size_t i : {std::size_t{4800}, toneStart - 3000, toneEnd + 6000, audio.size() - 5000})
    EXPECT_FLOAT_EQ(out[i + delay], audio[i]) << i;
}

TEST(Resampler, KeepsTheVoiceBandAndRemovesWhatWouldAlias) {
  for (int rate : {48000, 44100, 16000}) {
    SCOPED_TRACE(rate);
    const auto convert = [&](double hz) {
      std::vector<float> in(static_cast<std::size_t>(rate)), out;
      for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * static_cast<double>(i) / rate));
      Resampler resampler(rate, 8000);
      for (std::size_t at = 0; at < in.size(); at += 333)
        resampler.process(in.data() + at, std::min<std::size_t>(333, in.size() - at), out);
      return out;
    };
    const std::vector<float> tone = convert(1209);
    EXPECT_NEAR(static_cast<double>(tone.size()), 8000, 64);
    // The tone keeps its level (a sine of 0.5 has the power 0.0625 at its own frequency) ...
    EXPECT_NEAR(powerAt(tone, 2000, 6000, 1209, 8000), 0.0625, 0.005);
    // ... and one above 4 kHz does not fold back into the band (5 kHz would land on 3 kHz).
    const std::vector<float> high = convert(5000);
    EXPECT_LT(10 * std::log10(powerAt(high, 2000, 6000, 3000, 8000) / 0.0625), -50);
  }
}

std::vector<float> level(int rate, double ms, double rmsDbfs) {
  std::vector<float> out(static_cast<std::size_t>(std::lround(ms * rate / 1000)));
  const double a = std::pow(10.0, rmsDbfs / 20.0) * std::numbers::sqrt2;
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<float>(a * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i) / rate));
  return out;
}

// Feeds `audio` in 1 ms steps and returns the milliseconds after which the VOX first reads `state`, or -1.
int msUntil(Vox& vox, const std::vector<float>& audio, int rate, bool state) {
  const std::size_t step = static_cast<std::size_t>(rate) / 1000;
  for (std::size_t at = 0; at + step <= audio.size(); at += step)
    if (vox.feed(audio.data() + at, step) == state) return static_cast<int>((at + step) / step);
  return -1;
}

TEST(Vox, AttackAndHang) {
  const int rate = 48000;
  Vox vox(rate, {.thresholdDbfs = -40, .attackMs = 50, .hangMs = 800});
  EXPECT_EQ(msUntil(vox, level(rate, 500, -60), rate, true), -1);
  EXPECT_NEAR(vox.levelDbfs(), -60, 0.5);
  // A burst shorter than the attack does not key it.
  EXPECT_EQ(msUntil(vox, level(rate, 30, -20), rate, true), -1);
  EXPECT_EQ(msUntil(vox, level(rate, 100, -60), rate, true), -1);
  // Steady sound above the threshold: on after the attack time, within one 10 ms block.
  const int attack = msUntil(vox, level(rate, 500, -30), rate, true);
  EXPECT_GE(attack, 50);
  EXPECT_LE(attack, 60);
  EXPECT_NEAR(vox.levelDbfs(), -30, 0.5);
  // A pause shorter than the hang keeps it on; a longer one lets it go after the hang time.
  EXPECT_EQ(msUntil(vox, level(rate, 600, -70), rate, false), -1);
  EXPECT_EQ(msUntil(vox, level(rate, 100, -30), rate, false), -1);
  const int hang = msUntil(vox, level(rate, 2000, -70), rate, false);
  EXPECT_GE(hang, 800);
  EXPECT_LE(hang, 810);
  EXPECT_FALSE(vox.on());
}

TEST(Vox, ThresholdAtOtherRates) {
  for (int rate : {8000, 44100}) {
    Vox vox(rate, {.thresholdDbfs = -25, .attackMs = 0, .hangMs = 100});
    EXPECT_EQ(msUntil(vox, level(rate, 300, -28), rate, true), -1) << rate;
    EXPECT_GT(msUntil(vox, level(rate, 300, -22), rate, true), 0) << rate;
  }
}

}  // namespace
}  // namespace qm::radio

TEST(AudioLevel, PeakIsTheLargestMagnitudeWhereverItFalls) {
  // Every lane and the tail past the last whole eight, negative and positive.
  for (std::size_t count : {std::size_t{0}, std::size_t{5}, std::size_t{8}, std::size_t{1021}}) {
    for (std::size_t at = 0; at < count; at += count / 7 + 1) {
      std::vector<float> s(count, 0.01f);
      s[at] = at % 2 ? -0.7f : 0.6f;
      EXPECT_FLOAT_EQ(qm::radio::peakOf(s.data(), count), at % 2 ? 0.7f : 0.6f)
          << count << " samples, loudest at " << at;
    }
  }
  EXPECT_EQ(qm::radio::peakOf(nullptr, 0), 0.0f);
}
