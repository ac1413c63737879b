// quillmere_radio.ini: every key read with its default, bad values named with file, key, value, why and what is
// used instead; the line names; and the RadioSettings window's load and save through the scenario actions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/clock_format.h"
#include "platform/virtual_scheduler.h"
#include "radio/lines.h"
#include "radio/radio_settings.h"
#include "radio/radio_settings_window.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"

namespace qm::radio {
namespace {

RadioSettings read(const std::string& text, std::vector<std::string>& problems) {
  return readRadioSettings(ProfileFile::parse(text), "/home/op/quillmere_radio.ini", problems);
}

TEST(RadioSettingsFile, AnEmptyFileGivesTheDefaultsAndEachKeyIsRead) {
  std::vector<std::string> problems;
  EXPECT_EQ(read("", problems), RadioSettings{});
  EXPECT_TRUE(problems.empty());

  const RadioSettings s = read(
      "[settings]\r\ncallsign=G4ABC-R\r\nJackServer=\r\nCapturePort=system:capture_1\r\n"
      "PlaybackPort=system:playback_2\r\nSquelch=cm108:/dev/hidraw0:!VOL_DN\r\nPtt=serial:ttyUSB0:DTR\r\n"
      "TxLimit=0\r\nTxDelay=250\r\nTxTail=0\r\nVoxThreshold=-32.5\r\nVoxAttack=20\r\nVoxHang=1500\r\n"
      "DtmfMinLevel=-40\r\nDtmfMaxTwist=6.5\r\nDtmfMaxReverseTwist=3\r\nDtmfMinTone=50\r\nDtmfMinGap=30\r\n"
      "DtmfTimeout=0\r\nSpeechLevel=-3\r\nCwLevel=-12\r\nCwTone=800\r\nCwSpeed=18\r\n",
      problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(s.callsign, "G4ABC-R");
  EXPECT_EQ(s.jackServer, "") << "present and empty is not absent: never start JACK";
  EXPECT_EQ(s.capturePort, "system:capture_1");
  EXPECT_EQ(s.playbackPort, "system:playback_2");
  EXPECT_EQ(s.squelch, "cm108:/dev/hidraw0:!VOL_DN");
  EXPECT_EQ(s.ptt, "serial:ttyUSB0:DTR");
  EXPECT_EQ(s.txLimitSeconds, 0);
  EXPECT_EQ(s.txDelayMs, 250);
  EXPECT_EQ(s.txTailMs, 0);
  EXPECT_DOUBLE_EQ(s.voxThresholdDbfs, -32.5);
  EXPECT_EQ(s.voxAttackMs, 20);
  EXPECT_EQ(s.voxHangMs, 1500);
  EXPECT_DOUBLE_EQ(s.dtmfMinLevelDbfs, -40);
  EXPECT_DOUBLE_EQ(s.dtmfMaxTwistDb, 6.5);
  EXPECT_DOUBLE_EQ(s.dtmfMaxReverseTwistDb, 3);
  EXPECT_EQ(s.dtmfMinToneMs, 50);
  EXPECT_EQ(s.dtmfMinGapMs, 30);
  EXPECT_EQ(s.dtmfTimeoutSeconds, 0);
  EXPECT_DOUBLE_EQ(s.speechLevelDbfs, -3);
  EXPECT_DOUBLE_EQ(s.cwLevelDbfs, -12);
  EXPECT_EQ(s.cwToneHz, 800);
  EXPECT_EQ(s.cwSpeedWpm, 18);
}

TEST(RadioSettingsFile, EachBadValueIsNamedAndReplacedByItsDefault) {
  std::vector<std::string> problems;
  const RadioSettings s = read(
      "[SETTINGS]\nCallsign=N0CALL\nCapturePort=capture_1\nSquelch=serial:/dev/ttyS0:RTS\nPtt=gpio:gpiochip0\n"
      "TxLimit=5 minutes\nTxDelay=-1\nVoxThreshold=12\nDtmfMinTone=40.5\nCwTone=0x2bc\nCwSpeed=99999999999999999999\n",
      problems);
  EXPECT_EQ(s, RadioSettings{});
  ASSERT_EQ(problems.size(), 10u);
  const std::string file = "/home/op/quillmere_radio.ini: the value ";
  EXPECT_EQ(problems[0], file +
                             "\"N0CALL\" of Callsign needs a \"-\" and a suffix, as in N0CALL-L or N0CALL-R; using "
                             "\"\" instead.");
  EXPECT_EQ(problems[1], file +
                             "\"capture_1\" of CapturePort is not a JACK port name, CLIENT:PORT (system:capture_1);"
                             " using \"\" instead.");
  EXPECT_EQ(problems[2], file +
                             "\"serial:/dev/ttyS0:RTS\" of Squelch RTS is no input pin of "
                             "a serial port: use DCD, CTS, DSR or RI (! before it inverts); using \"vox\" instead.");
  EXPECT_EQ(problems[3], file +
                             "\"gpio:gpiochip0\" of Ptt needs a chip and a line: use "
                             "gpio:CHIP:LINE; using \"none\" instead.");
  EXPECT_EQ(problems[4],
            file + "\"5 minutes\" of TxLimit is not a whole number from 0 to 3600 (seconds); using \"300\" instead.");
  EXPECT_EQ(problems[5], file + "\"-1\" of TxDelay is not a whole number from 0 to 2000 (ms); using \"150\" instead.");
  EXPECT_EQ(problems[6], file + "\"12\" of VoxThreshold is not a number from -90 to 0 (dBFS); using \"-40\" instead.");
  EXPECT_EQ(problems[7],
            file + "\"40.5\" of DtmfMinTone is not a whole number from 20 to 1000 (ms); using \"30\" instead.");
  EXPECT_NE(problems[8].find("\"0x2bc\" of CwTone"), std::string::npos);
  EXPECT_NE(problems[9].find("of CwSpeed is not a whole number from 5 to 60"), std::string::npos);
}

TEST(RadioSettingsFile, OnePseudoTerminalCannotBeBothLines) {
  std::vector<std::string> problems;
  const RadioSettings s = read("[SETTINGS]\nSquelch=pty:/tmp/radio\nPtt=pty:/tmp/radio\n", problems);
  EXPECT_EQ(s.ptt, "pty:/tmp/radio");
  EXPECT_EQ(s.squelch, "vox");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("names the same pseudo-terminal as Ptt; using \"vox\" for Squelch"), std::string::npos);
}

TEST(LineNames, EveryKindIsParsedAndWrongOnesSayWhatIsAllowed) {
  std::string error;
  auto wiring = parseLineSpec("CM108:/dev/hidraw1:!gpio3", LineUse::Ptt, error);
  ASSERT_TRUE(wiring) << error;
  EXPECT_EQ(wiring->kind, "cm108");
  EXPECT_EQ(wiring->device, "/dev/hidraw1");
  EXPECT_EQ(wiring->pin, "GPIO3");
  EXPECT_TRUE(wiring->inverted);
  EXPECT_EQ(wiring->text, "CM108:/dev/hidraw1:!gpio3");

  wiring = parseLineSpec("gpio:gpiochip0:!PTT_out", LineUse::Squelch, error);
  ASSERT_TRUE(wiring) << error;
  EXPECT_EQ(wiring->pin, "PTT_out") << "GPIO line names keep their case";
  EXPECT_TRUE(wiring->inverted);
  wiring = parseLineSpec("serial:/dev/serial/by-id/usb-FTDI:x:RI", LineUse::Squelch, error);
  ASSERT_TRUE(wiring) << error;
  EXPECT_EQ(wiring->device, "/dev/serial/by-id/usb-FTDI:x") << "the pin is after the last colon";
  wiring = parseLineSpec("pty:/tmp/a:b", LineUse::Ptt, error);
  ASSERT_TRUE(wiring) << error;
  EXPECT_EQ(wiring->device, "/tmp/a:b");
  EXPECT_TRUE(parseLineSpec("none", LineUse::Ptt, error));
  EXPECT_TRUE(parseLineSpec("vox", LineUse::Squelch, error));

  EXPECT_FALSE(parseLineSpec("vox", LineUse::Ptt, error));
  EXPECT_NE(error.find("use none, serial:DEVICE:PIN"), std::string::npos) << error;
  EXPECT_FALSE(parseLineSpec("none", LineUse::Squelch, error));
  EXPECT_FALSE(parseLineSpec("parallel:/dev/lp0:1", LineUse::Ptt, error));
  EXPECT_NE(error.find("\"parallel\" is no kind of line"), std::string::npos) << error;
  EXPECT_FALSE(parseLineSpec("cm108:/dev/hidraw0:VOL_UP", LineUse::Ptt, error));
  EXPECT_NE(error.find("use GPIO1, GPIO2, GPIO3 or GPIO4"), std::string::npos) << error;
  EXPECT_FALSE(parseLineSpec("cm108:/dev/hidraw0:GPIO5", LineUse::Squelch, error));
  EXPECT_FALSE(parseLineSpec("serial::RTS", LineUse::Ptt, error));
  EXPECT_FALSE(parseLineSpec("serial:/dev/ttyS0:!", LineUse::Ptt, error));
  EXPECT_FALSE(parseLineSpec("pty:", LineUse::Squelch, error));
  EXPECT_FALSE(parseLineSpec("", LineUse::Ptt, error));
}

class NoOtherCopy : public InstanceLock {
 public:
  bool anotherCopyRunning() override { return false; }
};

class WithTheWindow : public SessionExtension {
 public:
  explicit WithTheWindow(int& saves) : saves_(saves) {}
  void programCreated(Program& program) override {
    addRadioSettingsWindow(program, [this] { ++saves_; });
  }

 private:
  int& saves_;
};

class RadioSettingsWindowTest : public ::testing::Test {
 protected:
  RadioSettingsWindowTest()
      : home_(std::filesystem::temp_directory_path() / ("quillmere-radio-window-" + std::to_string(::getpid()))),
        scheduler_(start()),
        session_(
            scheduler_, Folders{home_, home_}, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this, &s] {
                scheduler_.halt();
                s.programEnded();
              });
            },
            std::make_unique<NoOtherCopy>()) {
    std::filesystem::create_directories(home_);
    std::ofstream(home_ / "quillmere.ini", std::ios::binary) << "[SETTINGS]\r\nCheck2=0\r\n";
    session_.addExtension(std::make_unique<WithTheWindow>(saves_));
  }
  ~RadioSettingsWindowTest() override { std::filesystem::remove_all(home_); }
  static Scheduler::TimePoint start() {
    Scheduler::TimePoint t;
    parseLocalDateTime("2026-01-01 00:00:00", t);
    return t;
  }
  std::vector<std::string> boxes() {
    std::vector<std::string> out;
    for (auto& e : session_.transcript.pending("box")) out.push_back(e.arg);
    session_.transcript.pending("box").clear();
    return out;
  }
  std::string saved(const std::string& key) {
    return readProfileString(home_ / kRadioSettingsFile, "SETTINGS", key, "(absent)");
  }

  std::filesystem::path home_;
  VirtualScheduler scheduler_;
  Session session_;
  int saves_ = 0;
};

TEST_F(RadioSettingsWindowTest, LoadsTheFileNamingBadValuesAndSavesEveryKey) {
  std::ofstream(home_ / kRadioSettingsFile, std::ios::binary)
      << "[SETTINGS]\r\nPtt=cm108:/dev/hidraw0:GPIO3\r\nTxLimit=forever\r\n";
  session_.start();
  session_.transcript.pending("box").clear();
  auto& window = dynamic_cast<RadioSettingsWindow&>(namedWindow(session_, "RadioSettings"));
  EXPECT_EQ(window.box("Ptt")->Text(), "cm108:/dev/hidraw0:GPIO3");
  EXPECT_EQ(window.box("TxLimit")->Text(), "300");
  EXPECT_EQ(window.box("Squelch")->Text(), "vox");
  EXPECT_EQ(window.box("JackServer")->Text(), "jackd -d alsa -d hw:0 -r 48000 -p 1024 -n 3");
  const auto loaded = boxes();
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_NE(loaded[0].find("TxLimit"), std::string::npos) << loaded[0];
  EXPECT_NE(loaded[0].find("forever"), std::string::npos) << loaded[0];

  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtSquelch", "serial:/dev/ttyUSB0:!DCD"}));
  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtTxLimit", "120"}));
  ASSERT_TRUE(runAction(session_, {"click", "RadioSettings.cmdSave"}));
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(saved("Squelch"), "serial:/dev/ttyUSB0:!DCD");
  EXPECT_EQ(saved("TxLimit"), "120");
  EXPECT_EQ(saved("Ptt"), "cm108:/dev/hidraw0:GPIO3");
  for (const RadioSettingKey& k : radioSettingKeys()) EXPECT_NE(saved(k.key), "(absent)") << k.key;
}

TEST_F(RadioSettingsWindowTest, RefusesToSaveWhatCannotBeUsedAndKeepsTheFile) {
  std::ofstream(home_ / kRadioSettingsFile, std::ios::binary) << "[SETTINGS]\r\nTxDelay=200\r\n";
  session_.start();
  session_.transcript.pending("box").clear();
  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtPtt", "serial:/dev/ttyUSB0:DCD"}));
  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtCwSpeed", "fast"}));
  ASSERT_TRUE(runAction(session_, {"click", "RadioSettings.cmdSave"}));
  const auto refused = boxes();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_NE(refused[0].find("The radio settings were not saved:"), std::string::npos) << refused[0];
  EXPECT_NE(refused[0].find("PTT \"serial:/dev/ttyUSB0:DCD\""), std::string::npos) << refused[0];
  EXPECT_NE(refused[0].find("Morse speed (wpm) \"fast\" is not a whole number from 5 to 60"), std::string::npos)
      << refused[0];
  EXPECT_EQ(saves_, 0);
  EXPECT_EQ(saved("Ptt"), "(absent)");
  EXPECT_EQ(saved("TxDelay"), "200");

  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtPtt", "pty:/tmp/radio"}));
  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtSquelch", "pty:/tmp/radio"}));
  ASSERT_TRUE(runAction(session_, {"set", "RadioSettings.txtCwSpeed", "25"}));
  ASSERT_TRUE(runAction(session_, {"click", "RadioSettings.cmdSave"}));
  const auto same = boxes();
  ASSERT_EQ(same.size(), 1u);
  EXPECT_NE(same[0].find("the same pseudo-terminal"), std::string::npos) << same[0];
  EXPECT_EQ(saves_, 0);
}

}  // namespace
}  // namespace qm::radio
