// The EchoLink settings window driven as the operator does (set, click), in virtual time: it shows the file, saves
// what can be used, and names what cannot without touching the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "echolink_net/echolink_settings_window.h"
#include "platform/clock_format.h"
#include "platform/profile_file.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"

namespace qm {
namespace {

class NoOtherCopy : public InstanceLock {
 public:
  bool anotherCopyRunning() override { return false; }
};

Scheduler::TimePoint startTime() {
  Scheduler::TimePoint t;
  parseLocalDateTime("2026-01-01 00:00:00", t);
  return t;
}

class EchoLinkSettingsWindowTest : public ::testing::Test {
 protected:
  EchoLinkSettingsWindowTest()
      : home_(std::filesystem::temp_directory_path() / ("quillmere-echolink-window-" + std::to_string(::getpid()))),
        scheduler_(startTime()),
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
    write("quillmere.ini", "[SETTINGS]\r\nCheck2=0\r\n");
    session_.onProgramCreated = [this](Program& p) { addEchoLinkSettingsWindow(p, [this] { ++saves_; }); };
  }
  ~EchoLinkSettingsWindowTest() override { std::filesystem::remove_all(home_); }
  void write(const std::string& name, const std::string& content) {
    std::ofstream(home_ / name, std::ios::binary) << content;
  }
  std::string read(const std::string& name) {
    std::ifstream in(home_ / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void act(const std::vector<std::string>& words) { ASSERT_TRUE(runAction(session_, words)); }
  std::vector<std::string> boxes() {
    std::vector<std::string> out;
    for (auto& e : session_.transcript.pending("box")) out.push_back(e.arg);
    session_.transcript.pending("box").clear();
    return out;
  }
  EchoLinkSettingsWindow& window() {
    return dynamic_cast<EchoLinkSettingsWindow&>(namedWindow(session_, "EchoLinkSettings"));
  }

  std::filesystem::path home_;
  VirtualScheduler scheduler_;
  Session session_;
  int saves_ = 0;
};

TEST_F(EchoLinkSettingsWindowTest, ShowsTheFileAndSavesTheBoxes) {
  write("quillmere_echolink.ini", "[SETTINGS]\r\nEnabled=1\r\nPassword=secret\r\nLocation=Hilltop\r\n");
  session_.start();
  boxes();
  EchoLinkSettingsWindow& w = window();
  EXPECT_EQ(w.box("Enabled")->Text(), "1");
  EXPECT_EQ(w.box("Location")->Text(), "Hilltop");
  EXPECT_EQ(w.box("Servers")->Text(), "servers.echolink.org");
  EXPECT_EQ(w.box("MaxStations")->Text(), "4");
  EXPECT_TRUE(w.box("Password")->password);

  act({"set", "EchoLinkSettings.txtDenyCalls", "N0BAD*, K1X?"});
  act({"set", "EchoLinkSettings.txtMaxStations", "2"});
  act({"click", "EchoLinkSettings.cmdSave"});
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(readProfileString(home_ / "quillmere_echolink.ini", "SETTINGS", "DenyCalls", ""), "N0BAD*, K1X?");
  EXPECT_EQ(readProfileString(home_ / "quillmere_echolink.ini", "SETTINGS", "MaxStations", ""), "2");
  EXPECT_EQ(readProfileString(home_ / "quillmere_echolink.ini", "SETTINGS", "Password", ""), "secret");
  EXPECT_EQ(readProfileString(home_ / "quillmere_echolink.ini", "SETTINGS", "CodeDisconnectAll", ""), "##");
}

TEST_F(EchoLinkSettingsWindowTest, ValuesThatCannotBeUsedAreNamedAndNothingIsSaved) {
  write("quillmere_echolink.ini", "[SETTINGS]\r\nPortBase=80\r\n");
  session_.start();
  boxes();
  EchoLinkSettingsWindow& w = window();
  auto shown = boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("the value \"80\" of PortBase is not a port number from 1024 to 65534"), std::string::npos)
      << shown[0];
  EXPECT_EQ(w.box("PortBase")->Text(), "5198");

  std::string before = read("quillmere_echolink.ini");
  act({"set", "EchoLinkSettings.txtBindAddress", "my.host"});
  act({"set", "EchoLinkSettings.txtCodeStatus", "#X"});
  act({"click", "EchoLinkSettings.cmdSave"});
  EXPECT_EQ(boxes(),
            std::vector<std::string>{"The EchoLink settings were not saved:\r\nBind address \"my.host\" is not "
                                     "an IPv4 address.\r\nStatus \"#X\" is not a DTMF code (0-9, A-D, * and #, "
                                     "up to 8)."});
  EXPECT_EQ(read("quillmere_echolink.ini"), before);
  EXPECT_EQ(saves_, 0);
}

}  // namespace
}  // namespace qm
