// Speech output as the rest of the program sees it: what the transmitter, the indicator and the voice do during an
// utterance, and what happens when one of them fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/frm_main.h"
#include "platform/instance_lock.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"
#include "speech/form1.h"

namespace qm {
namespace {

// A voice that notes, at the moment it speaks, what the transmitter and the main window's indicator show.
struct ProbeVoice : Voice {
  struct Heard {
    std::string text;
    int rate;
    bool keyed;
    std::string indicator;
    Colour indicatorColour;
  };
  InjectableNode* node = nullptr;
  frmMain* main = nullptr;
  std::vector<Heard> heard;
  int rate = 0;
  bool failSpeak = false, failRate = false;

  void setRate(int r) override {
    if (failRate) throw std::runtime_error("the voice refused the rate");
    rate = r;
  }
  void speak(const std::string& text) override {
    heard.push_back({text, rate, node->pttState(), main->PTT.Text(), main->PTT.BackColor()});
    if (failSpeak) throw std::runtime_error("the voice failed");
  }
};

class SpeechOutputTest : public ::testing::Test {
 protected:
  SpeechOutputTest() : scheduler_(Scheduler::TimePoint{}), session_(makeSession()) {}
  void SetUp() override {
    std::ofstream(home_ / "quillmere.ini") << "[SETTINGS]\r\nCheck1=0\r\n";
    session_->useVoice(probe_);
    session_->start();
    probe_.node = &session_->node;
    probe_.main = &session_->program().main();
    out_.str("");
  }
  void TearDown() override {
    session_.reset();
    std::filesystem::remove_all(home_);
  }

  std::unique_ptr<Session> makeSession() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-speech-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
    home_ = pattern;
    return std::make_unique<Session>(
        scheduler_, Folders{home_, home_}, &out_,
        [](Session& s) -> std::unique_ptr<ProgramExit> {
          return std::make_unique<ScenarioExit>(s.transcript, [&s] { s.node.setDeaf(true); });
        },
        std::make_unique<FixedInstanceLock>(false));
  }

  Form1& form1() { return session_->program().form1(); }
  frmMain& main() { return session_->program().main(); }
  void say(const std::string& text) {
    form1().SayTheText = text;
    form1().SpeakTheText();
  }

  std::filesystem::path home_;
  std::ostringstream out_;
  VirtualScheduler scheduler_;
  ProbeVoice probe_;
  std::unique_ptr<Session> session_;
};

TEST_F(SpeechOutputTest, TheTransmitterIsKeyedAndTheIndicatorRedWhileSpeaking) {
  say("Hello");
  ASSERT_EQ(probe_.heard.size(), 1u);
  EXPECT_TRUE(probe_.heard[0].keyed);
  EXPECT_EQ(probe_.heard[0].indicator, "PTT ON");
  EXPECT_EQ(probe_.heard[0].indicatorColour, 255);
  EXPECT_FALSE(session_->node.pttState());
  EXPECT_EQ(main().PTT.Text(), "PTT OFF");
  EXPECT_EQ(main().PTT.BackColor(), kButtonFace);
  // The transcript shows key, speech and unkey in that order.
  std::string t = out_.str();
  auto on = t.find("ptt on"), spoken = t.find("say \"Hello\" rate 0"), off = t.find("ptt off");
  ASSERT_NE(spoken, std::string::npos) << t;
  EXPECT_LT(on, spoken);
  EXPECT_LT(spoken, off);
  EXPECT_NE(off, std::string::npos);
}

TEST_F(SpeechOutputTest, TheRateIsTakenFromTheSliderAtEachUtterance) {
  main().VoiceSpeed.setValue(-4);
  EXPECT_EQ(main().Label12.Caption(), "-4");
  EXPECT_EQ(probe_.rate, 0);  // moving the slider does not touch the voice
  say("Slow");
  main().VoiceSpeed.setValue(2);
  say("Fast");
  ASSERT_EQ(probe_.heard.size(), 2u);
  EXPECT_EQ(probe_.heard[0].rate, -4);
  EXPECT_EQ(probe_.heard[1].rate, 2);
}

TEST_F(SpeechOutputTest, AFailingVoiceStillLeavesTheTransmitterUnkeyed) {
  probe_.failSpeak = true;
  probe_.failRate = true;
  say("Lost");
  ASSERT_EQ(probe_.heard.size(), 1u);
  EXPECT_TRUE(probe_.heard[0].keyed);
  EXPECT_FALSE(session_->node.pttState());
  EXPECT_EQ(main().PTT.Text(), "PTT OFF");
  EXPECT_EQ(main().PTT.BackColor(), kButtonFace);
  EXPECT_EQ(out_.str().find("box"), std::string::npos) << "nothing is shown to the operator";
}

TEST_F(SpeechOutputTest, ARefusedKeyStillSpeaksAndPutsTheIndicatorBack) {
  session_->node.setFailPTT(true);
  say("Unkeyed");
  ASSERT_EQ(probe_.heard.size(), 1u);
  EXPECT_FALSE(probe_.heard[0].keyed);
  EXPECT_EQ(probe_.heard[0].indicator, "PTT ON");
  EXPECT_EQ(main().PTT.Text(), "PTT OFF");
  EXPECT_EQ(out_.str().find("ptt"), std::string::npos);
}

TEST_F(SpeechOutputTest, NothingHappensWithVoiceOff) {
  main().Check2.setValue(0);
  say("A0");
  main().Check2.setValue(2);
  say("B0");
  EXPECT_TRUE(probe_.heard.empty());
  EXPECT_EQ(form1().SayTheText, "B0");
  EXPECT_EQ(main().PTT.Text(), "PTT OFF");
  EXPECT_EQ(out_.str().find("ptt"), std::string::npos);
}

TEST_F(SpeechOutputTest, ASaveThatFailsIsReportedAndThePhrasesStay) {
  // The language file's place is taken by a folder, so it cannot be replaced.
  std::filesystem::create_directory(home_ / "quillmere_language.ini");
  form1().Text1.setText("Appel");
  form1().SaveData();
  EXPECT_NE(out_.str().find("box"), std::string::npos) << out_.str();
  EXPECT_EQ(form1().Text1.Text(), "Appel");
}

}  // namespace
}  // namespace qm
