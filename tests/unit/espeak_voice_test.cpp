// The espeak-ng voice: its speed follows the rate, its speech lands in the air recording, and a missing sound device
// neither fails nor hangs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "echolink/air_recording.h"
#include "espeak/alsa_playback.h"
#include "espeak/espeak_voice.h"
#include "platform/virtual_scheduler.h"

namespace qm {
namespace {

using std::chrono::milliseconds;

constexpr const char* kSentence = "The Ireland Conference Has Connected";

class EspeakVoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-espeak-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Silent: nothing is played on this machine's speakers while the tests run.
  static EspeakVoice::Settings silent() { return {false, "default", {}}; }
  milliseconds elapsed() const {
    return std::chrono::duration_cast<milliseconds>(scheduler_.now() - Scheduler::TimePoint{});
  }

  std::filesystem::path dir_;
  VirtualScheduler scheduler_{Scheduler::TimePoint{}};
};

TEST_F(EspeakVoiceTest, SpeaksSlowerAtMinusFiveThanAtFive) {
  EspeakVoice voice(scheduler_, nullptr, silent());
  ASSERT_TRUE(voice.available()) << voice.problem();
  voice.setRate(-5);
  voice.speak(kSentence);
  std::size_t slow = voice.lastUtterance().size();
  voice.setRate(0);
  voice.speak(kSentence);
  std::size_t normal = voice.lastUtterance().size();
  voice.setRate(5);
  voice.speak(kSentence);
  std::size_t fast = voice.lastUtterance().size();
  EXPECT_GT(slow, normal);
  EXPECT_GT(normal, fast);
  // At the normal speed the sentence takes between one and three seconds.
  EXPECT_GT(normal, static_cast<std::size_t>(voice.sampleRate()));
  EXPECT_LT(normal, static_cast<std::size_t>(3 * voice.sampleRate()));
}

TEST_F(EspeakVoiceTest, NotPlayingAloudHoldsTheThreadForTheSpeech) {
  EspeakVoice voice(scheduler_, nullptr, silent());
  ASSERT_TRUE(voice.available()) << voice.problem();
  voice.speak("1 2 3 4 5 6 ");
  auto length = milliseconds(static_cast<long long>(voice.lastUtterance().size()) * 1000 / voice.sampleRate());
  EXPECT_EQ(elapsed(), length);
  EXPECT_GT(length, milliseconds(500));
}

TEST_F(EspeakVoiceTest, TheAirRecordingHoldsTheSpeech) {
  auto path = dir_ / "air.wav";
  {
    AirRecording air(path);
    EspeakVoice voice(scheduler_, &air, silent());
    ASSERT_TRUE(voice.available()) << voice.problem();
    voice.speak(kSentence);
    voice.speak("Test Server has Connected");
    EXPECT_GT(air.sampleCount(), static_cast<std::uint64_t>(air.sampleRate()));
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b{std::istreambuf_iterator<char>(in), {}};
  ASSERT_GT(b.size(), 44u);
  auto u32 = [&](std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
  };
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");
  EXPECT_EQ(u32(4), b.size() - 8);
  EXPECT_EQ(u32(24), 22050u);
  EXPECT_EQ(u32(40), b.size() - 44);
  // Speech, not silence: a good share of the samples is loud.
  std::size_t loud = 0, count = (b.size() - 44) / 2;
  int peak = 0;
  for (std::size_t i = 0; i < count; ++i) {
    int s = static_cast<std::int16_t>(b[44 + 2 * i] | (b[45 + 2 * i] << 8));
    peak = std::max(peak, std::abs(s));
    if (std::abs(s) > 1000) ++loud;
  }
  EXPECT_GT(peak, 5000);
  EXPECT_GT(loud, count / 20);
}

TEST_F(EspeakVoiceTest, AMissingSoundDeviceIsReportedOnceAndSpeechGoesOnSilently) {
  EspeakVoice voice(scheduler_, nullptr, {true, "quillmere_no_such_device", {}});
  ASSERT_TRUE(voice.available()) << voice.problem();
  std::vector<std::string> problems;
  voice.onProblem = [&](const std::string& p) { problems.push_back(p); };
  voice.speak("Connected");
  auto first = elapsed();
  voice.speak("Connected");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("quillmere_no_such_device"), std::string::npos) << problems[0];
  // Without a device the utterance still takes its time, on the program's clock.
  EXPECT_GT(first, milliseconds(200));
  EXPECT_EQ(elapsed(), 2 * first);
}

TEST_F(EspeakVoiceTest, ASinkTakesTheSamplesInsteadOfTheRecordingAndTheThreadIsHeldForThem) {
  AirRecording air(dir_ / "air.wav");
  std::vector<std::int16_t> handed;
  int handedRate = 0;
  EspeakVoice::Settings settings{true, "quillmere_no_such_device", {}};  // a sink: the sound device is not used
  settings.sink = [&](const std::vector<std::int16_t>& samples, int rate) {
    handed = samples;
    handedRate = rate;
  };
  EspeakVoice voice(scheduler_, &air, settings);
  ASSERT_TRUE(voice.available()) << voice.problem();
  std::string problem;
  voice.onProblem = [&](const std::string& p) { problem = p; };
  voice.speak(kSentence);
  EXPECT_EQ(handed, voice.lastUtterance());
  EXPECT_EQ(handedRate, voice.sampleRate());
  EXPECT_EQ(air.sampleCount(), 0u);  // the sink's owner records what it sends itself
  EXPECT_EQ(problem, "");
  EXPECT_EQ(elapsed().count(), static_cast<long long>(handed.size()) * 1000 / handedRate);
}

TEST(AlsaPlayback, AnUnknownDeviceFailsAtOnce) {
  AlsaPlayback playback("quillmere_no_such_device");
  EXPECT_FALSE(playback.play(std::vector<std::int16_t>(22050, 0), 22050));
  EXPECT_FALSE(playback.problem().empty());
}

}  // namespace
}  // namespace qm
