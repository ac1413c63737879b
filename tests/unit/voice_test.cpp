// The voice speed scale, the estimate voice's utterance lengths and the recording voice.
#include <gtest/gtest.h>

#include <vector>

#include "platform/output_log.h"
#include "platform/virtual_scheduler.h"
#include "speech/estimate_voice.h"
#include "speech/recording_voice.h"

namespace qm {
namespace {

using std::chrono::milliseconds;

TEST(VoiceSpeed, ZeroIsTheNormalSpeedAndEachStepIsFasterThanTheLast) {
  EXPECT_EQ(wordsPerMinute(0), 175);
  EXPECT_EQ(wordsPerMinute(-5), 101);
  EXPECT_EQ(wordsPerMinute(5), 303);
  for (int r = Voice::kSlowest; r < Voice::kFastest; ++r) EXPECT_LT(wordsPerMinute(r), wordsPerMinute(r + 1)) << r;
  // espeak-ng accepts 80 to 450 words per minute.
  EXPECT_GE(wordsPerMinute(-5), 80);
  EXPECT_LE(wordsPerMinute(5), 450);
}

TEST(VoiceSpeed, RatesOutsideTheSliderAreTakenAsItsEnds) {
  EXPECT_EQ(clampRate(-12), -5);
  EXPECT_EQ(clampRate(40), 5);
  EXPECT_EQ(clampRate(3), 3);
  EXPECT_EQ(wordsPerMinute(-100), wordsPerMinute(-5));
  EXPECT_EQ(wordsPerMinute(100), wordsPerMinute(5));
}

TEST(EstimateVoice, LengthFollowsTheDocumentedFormula) {
  // 6 words, 6 characters: 60000 * (0.55 * 6 + 0.1 * 6) / 175 = 1337.1 ms.
  EXPECT_EQ(EstimateVoice::utteranceLength("1 2 3 4 5 6 ", 0), milliseconds(1337));
  // 5 words, 32 characters: 60000 * (2.75 + 3.2) / 175 = 2040 ms.
  EXPECT_EQ(EstimateVoice::utteranceLength("The Ireland Conference Has Connected", 0), milliseconds(2040));
  // The same at the slowest speed (101 words per minute).
  EXPECT_EQ(EstimateVoice::utteranceLength("The Ireland Conference Has Connected", -5), milliseconds(3535));
}

TEST(EstimateVoice, BlanksCostNothingAndAnEmptyTextTakesNoTime) {
  EXPECT_EQ(EstimateVoice::utteranceLength("", 0), milliseconds(0));
  EXPECT_EQ(EstimateVoice::utteranceLength("   \t ", 0), milliseconds(0));
  EXPECT_EQ(EstimateVoice::utteranceLength("  Zero  ", 0), EstimateVoice::utteranceLength("Zero", 0));
  // A character of several UTF-8 bytes counts once.
  EXPECT_EQ(EstimateVoice::utteranceLength("\xC3\xA9t\xC3\xA9", 0), EstimateVoice::utteranceLength("ete", 0));
}

TEST(EstimateVoice, SlowerRatesTakeLonger) {
  const char* text = "G 4 A B C -  : Link Connected";
  for (int r = Voice::kSlowest; r < Voice::kFastest; ++r)
    EXPECT_GT(EstimateVoice::utteranceLength(text, r), EstimateVoice::utteranceLength(text, r + 1)) << r;
}

TEST(EstimateVoice, SpeakingHoldsTheThreadForTheUtterance) {
  VirtualScheduler scheduler(Scheduler::TimePoint{});
  EstimateVoice voice(scheduler);
  voice.setRate(-3);
  EXPECT_EQ(voice.rate(), -3);
  voice.speak("DTMF Enabled");
  EXPECT_EQ(scheduler.now() - Scheduler::TimePoint{}, EstimateVoice::utteranceLength("DTMF Enabled", -3));
  voice.setRate(9);
  EXPECT_EQ(voice.rate(), 5);
}

struct KeptLog : OutputLog {
  std::vector<OutputEvent> events;
  void record(const OutputEvent& e) override { events.push_back(e); }
};

struct ListeningVoice : Voice {
  std::vector<std::string> heard;
  int rate = 0;
  void setRate(int r) override { rate = r; }
  void speak(const std::string& text) override { heard.push_back(text); }
};

TEST(RecordingVoice, RecordsEachUtteranceWithItsRateAndHandsItOn) {
  KeptLog log;
  ListeningVoice engine;
  RecordingVoice voice(log, &engine);
  voice.speak("Call");
  voice.setRate(-3);
  voice.speak("1 2 3 ");
  ASSERT_EQ(log.events.size(), 2u);
  EXPECT_EQ(log.events[0].kind, "say");
  EXPECT_EQ(log.events[0].arg, "Call");
  EXPECT_EQ(log.events[0].extra, "rate 0");
  EXPECT_TRUE(log.events[0].quoted);
  EXPECT_EQ(log.events[1].arg, "1 2 3 ");
  EXPECT_EQ(log.events[1].extra, "rate -3");
  EXPECT_EQ(engine.heard, (std::vector<std::string>{"Call", "1 2 3 "}));
  EXPECT_EQ(engine.rate, -3);
}

TEST(RecordingVoice, RecordsEvenWhenTheEngineFailsOrIsMissing) {
  struct BrokenVoice : Voice {
    void setRate(int) override {}
    void speak(const std::string&) override { throw std::runtime_error("no engine"); }
  } broken;
  KeptLog log;
  RecordingVoice voice(log, &broken);
  EXPECT_THROW(voice.speak("Hello"), std::runtime_error);
  voice.setTarget(nullptr);
  voice.setRate(7);
  voice.speak("Alone");
  ASSERT_EQ(log.events.size(), 2u);
  EXPECT_EQ(log.events[1].arg, "Alone");
  EXPECT_EQ(log.events[1].extra, "rate 5");
}

}  // namespace
}  // namespace qm
