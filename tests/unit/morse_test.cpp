// Morse for the simulated air: the timing of the text, the shape of the tone, and the audio decoded back to the text
// by a simple envelope decoder of our own and, where it is installed, by multimon-ng.
#include "echolink/morse.h"
#include "morse_decoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <stdexcept>

namespace qm {
namespace {

int totalUnits(const std::vector<MorseElement>& timing) {
  int units = 0;
  for (const MorseElement& e : timing) units += e.units;
  return units;
}

TEST(MorseTiming, FollowsParis) {
  // K is dash, dot, dash with one-unit gaps inside the character.
  EXPECT_EQ(morseTiming("K"), (std::vector<MorseElement>{{true, 3}, {false, 1}, {true, 1}, {false, 1}, {true, 3}}));
  // "PARIS" is 43 units; with its word gap, the standard word of 50.
  EXPECT_EQ(totalUnits(morseTiming("PARIS")), 43);
  EXPECT_EQ(totalUnits(morseTiming("PARIS ")), 50);
  EXPECT_EQ(totalUnits(morseTiming("PARIS PARIS")), 93);
  // Twenty words at 20 words per minute take exactly a minute; at 5, four.
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "PARIS ";
  EXPECT_EQ(morseDuration(twenty, 20), std::chrono::minutes(1));
  EXPECT_EQ(morseDuration(twenty, 5), std::chrono::minutes(4));
  EXPECT_EQ(morseDuration("E", 20), std::chrono::milliseconds(60));
}

TEST(MorseTiming, GapsBetweenCharactersAndWords) {
  // E T: dot, word gap, dash.  ET: dot, character gap, dash.
  EXPECT_EQ(morseTiming("E T"), (std::vector<MorseElement>{{true, 1}, {false, 7}, {true, 3}}));
  EXPECT_EQ(morseTiming("ET"), (std::vector<MorseElement>{{true, 1}, {false, 3}, {true, 3}}));
  // A run of blanks (tabs and line ends too) is one word gap.
  EXPECT_EQ(morseTiming("E \t\r\n T"), morseTiming("E T"));
  // Blanks at either end are a word gap of silence; a blank alone is one word gap.
  EXPECT_EQ(morseTiming(" E "), (std::vector<MorseElement>{{false, 7}, {true, 1}, {false, 7}}));
  EXPECT_EQ(morseTiming(" "), (std::vector<MorseElement>{{false, 7}}));
  EXPECT_TRUE(morseTiming("").empty());
}

TEST(MorseTiming, LettersAndUnknownCharacters) {
  EXPECT_EQ(morseTiming("your call & qra"), morseTiming("YOUR CALL & QRA"));
  EXPECT_EQ(morseCode('&'), ".-...");
  EXPECT_EQ(morseCode('0'), "-----");
  EXPECT_EQ(morseCode('/'), "-..-.");
  EXPECT_FALSE(morseCode('#'));
  EXPECT_FALSE(morseCode('\xC3'));
  // Characters without a code are left out, gaps and all.
  EXPECT_EQ(morseTiming("E#T"), morseTiming("ET"));
  EXPECT_EQ(morseTiming("E # T"), morseTiming("E T"));
  EXPECT_EQ(morseTiming("E\xC3\xA9T"), morseTiming("ET"));
  EXPECT_TRUE(morseTiming("#%").empty());
}

TEST(MorseAudio, LengthIsWholeUnits) {
  for (int rate : {8000, 11025, 22050, 44100, 48000}) {
    for (int wpm : {5, 13, 20, 30}) {
      std::int64_t unit = std::llround(rate * 1.2 / wpm);
      auto samples = renderMorse("N0CALL-L 73", rate, wpm);
      EXPECT_EQ(static_cast<std::int64_t>(samples.size()), totalUnits(morseTiming("N0CALL-L 73")) * unit)
          << rate << " Hz, " << wpm << " wpm";
    }
  }
  EXPECT_TRUE(renderMorse("", 8000).empty());
  auto space = renderMorse(" ", 8000);
  EXPECT_EQ(space.size(), 7u * 480u);
  for (auto s : space) ASSERT_EQ(s, 0);
}

TEST(MorseAudio, RefusesImpossibleRatesAndSpeeds) {
  EXPECT_THROW(renderMorse("K", 0), std::invalid_argument);
  EXPECT_THROW(renderMorse("K", -8000), std::invalid_argument);
  EXPECT_THROW(renderMorse("K", 8000, 0), std::invalid_argument);
  EXPECT_THROW(renderMorse("K", 8000, 1000), std::invalid_argument);
  EXPECT_THROW(morseDuration("K", -1), std::invalid_argument);
}

// Power of one frequency in the signal (Goertzel).
double powerAt(const std::vector<std::int16_t>& x, int rate, double hz) {
  double w = 2 * std::numbers::pi * hz / rate, c = 2 * std::cos(w), s1 = 0, s2 = 0;
  for (auto v : x) {
    double s0 = v + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - c * s1 * s2;
}

TEST(MorseAudio, CleanToneWithSoftEdges) {
  const int rate = 48000;
  auto t = renderMorse("T", rate);  // one dash: 180 ms of tone
  ASSERT_EQ(t.size(), 3u * 2880u);
  // 700 Hz: 126 cycles in 180 ms, two zero crossings each.
  int crossings = 0, peak = 0;
  for (std::size_t i = 1; i < t.size(); ++i) {
    if ((t[i - 1] < 0) != (t[i] < 0)) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(t[i])));
  }
  EXPECT_NEAR(crossings, 252, 2);
  EXPECT_NEAR(peak, 16384, 100);
  // The element starts and ends at silence and reaches half strength about 2.5 ms in: no click.
  EXPECT_LT(std::abs(t.front()), 50);
  EXPECT_LT(std::abs(t.back()), 300);
  // The strongest sample within half a cycle around `ms` milliseconds: the envelope there.
  auto strength = [&](double ms) {
    int m = 0;
    std::size_t centre = static_cast<std::size_t>(ms * rate / 1000), half = rate / 700 / 4;
    for (std::size_t i = centre - std::min(centre, half); i <= centre + half; ++i)
      m = std::max(m, std::abs(static_cast<int>(t[i])));
    return m;
  };
  EXPECT_LT(strength(0.3), 1000);
  EXPECT_NEAR(strength(2.5), 8192, 1200);
  EXPECT_GT(strength(6), 16300);
  EXPECT_NEAR(strength(177.5), 8192, 1200);
  // No step larger than the steepest slope of the sine itself.
  double maxStep = 16384 * 2 * std::numbers::pi * 700 / rate * 1.02 + 2;
  for (std::size_t i = 1; i < t.size(); ++i) ASSERT_LE(std::abs(t[i] - t[i - 1]), maxStep) << "at sample " << i;

  // Keying many short elements spreads little energy away from the tone: 300 Hz off is at least 50 dB down.
  auto dots = renderMorse("EEEEEEEEEE HHHHH 55555", rate, 30);
  double tone = powerAt(dots, rate, 700);
  EXPECT_LT(powerAt(dots, rate, 400) / tone, 1e-5);
  EXPECT_LT(powerAt(dots, rate, 1000) / tone, 1e-5);
  EXPECT_LT(powerAt(dots, rate, 1400) / tone, 1e-5);
}

const char* const kTexts[] = {"K",
                              "I",
                              "T",
                              "E",
                              "YOUR CALL & QRA",
                              "N0CALL-L",
                              "VVV DE N0CALL/R 73",
                              "0123456789",
                              "PARIS PARIS",
                              "QRV? 5NN, TU.",
                              "CQ=+-/"};

TEST(MorseAudio, DecodesBackToTheText) {
  for (int rate : {8000, 22050, 48000}) {
    for (int wpm : {13, 20, 30}) {
      for (const char* text : kTexts)
        EXPECT_EQ(decode(renderMorse(text, rate, wpm), rate, wpm), text) << rate << " Hz, " << wpm << " wpm";
    }
  }
  EXPECT_EQ(decode(renderMorse("  your   call\t& qra ", 22050), 22050, 20), "YOUR CALL & QRA");
}

// multimon-ng's Morse decoder, a receiver that owes nothing to this code. Not a build requirement: skipped when the
// tool is not installed.
TEST(MorseAudio, MultimonNgReadsIt) {
  if (std::system("command -v multimon-ng >/dev/null 2>&1") != 0) GTEST_SKIP() << "multimon-ng is not installed";
  const int rate = 22050;  // multimon-ng's raw input rate
  char path[] = "/tmp/quillmere-morse-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  for (const char* text : kTexts) {
    if (std::string(text) == "QRV? 5NN, TU." || std::string(text) == "CQ=+-/") continue;  // punctuation it lacks
    std::vector<std::int16_t> silence(rate / 2, 0);
    auto audio = renderMorse(text, rate);
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      for (const auto* part : {&silence, &audio, &silence})
        out.write(reinterpret_cast<const char*>(part->data()), static_cast<std::streamsize>(part->size() * 2));
    }
    std::string command = std::string("multimon-ng -q -t raw -a MORSE_CW ") + path + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string heard;
    char buf[256];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) heard.append(buf, n);
    pclose(pipe);
    // It ends its line with a blank and a line end.
    while (!heard.empty() && (heard.back() == ' ' || heard.back() == '\n')) heard.pop_back();
    EXPECT_EQ(heard, text);
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace qm
