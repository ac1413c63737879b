// The command line's choice of the Skype backend and of real time for scenarios, and the backends quillmere.ini
// chooses when the command line names none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "app/node_configuration.h"
#include "options.h"

namespace qm {
namespace {

std::optional<Options> parse(const std::vector<std::string>& args, std::string& error) {
  error.clear();
  return parseOptions(args, error);
}

TEST(Options, TheSipBackendRunsHeadlessOrInARealTimeScenario) {
  std::string error;
  auto headless = parse({"--headless", "--skype", "sip"}, error);
  ASSERT_TRUE(headless) << error;
  EXPECT_EQ(headless->skype, "sip");
  EXPECT_EQ(headless->mode, Mode::Headless);

  auto scenario = parse({"--scenario", "call.scn", "--real-time", "--skype", "sip"}, error);
  ASSERT_TRUE(scenario) << error;
  EXPECT_TRUE(scenario->realTime);
  EXPECT_EQ(scenario->skype, "sip");

  EXPECT_FALSE(parse({"--scenario", "call.scn", "--skype", "sip"}, error));
  EXPECT_EQ(error, "--skype sip places real calls, which take real time: add --real-time to the scenario run");
  EXPECT_FALSE(parse({"--headless", "--real-time"}, error));
  EXPECT_EQ(error, "--real-time goes with --scenario FILE");
  EXPECT_FALSE(parse({"--skype", "skype"}, error));
  EXPECT_EQ(error, "unknown Skype backend 'skype' (known: sim, sip)");
}

TEST(Options, ScenariosRunInVirtualTimeWithTheSimulatedClientUnlessAsked) {
  std::string error;
  auto o = parse({"--scenario", "a.scn"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_FALSE(o->realTime);
  EXPECT_EQ(o->skype, "sim");
  auto real = parse({"--real-time", "--scenario", "a.scn"}, error);
  ASSERT_TRUE(real) << error;
  EXPECT_TRUE(real->realTime);
  EXPECT_NE(usageText().find("--real-time"), std::string::npos);
  EXPECT_NE(usageText().find("--skype NAME"), std::string::npos);
}

// quillmere.ini's Node and Telephone choose the backends; an option wins; a bad value is named with what is used; a
// simulated backend beside the real one's settings file is called out.
TEST(Options, TheMainSettingsChooseTheBackendsUnlessTheCommandLineDoes) {
  std::string dir = (std::filesystem::temp_directory_path() / "quillmere-backends-XXXXXX").string();
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  const Folders folders{dir, dir};
  auto write = [&](const std::string& name, const std::string& text) { std::ofstream(folders.home / name) << text; };

  write("quillmere.ini", "[SETTINGS]\r\nNode=radio\r\nTelephone=sip\r\n");
  NodeConfiguration c = readNodeConfiguration(folders);
  EXPECT_EQ(c.node, "radio");
  EXPECT_EQ(c.telephone, "sip");
  EXPECT_TRUE(c.problems.empty() && c.simulatedWhileConfigured.empty());
  c = readNodeConfiguration(folders, std::string("sim"), std::nullopt);
  EXPECT_EQ(c.node, "sim");
  EXPECT_EQ(c.nodeFrom, "--node sim");

  write("quillmere.ini", "[SETTINGS]\r\nNode=radi0\r\n");
  write("quillmere_sip.ini", "[SETTINGS]\r\n");
  c = readNodeConfiguration(folders);
  EXPECT_EQ(c.node, "sim");
  ASSERT_EQ(c.problems.size(), 1u);
  EXPECT_EQ(c.problems[0], (folders.home / "quillmere.ini").string() +
                               ": the value \"radi0\" of Node names no backend (sim or radio); using \"sim\" instead.");
  ASSERT_EQ(c.simulatedWhileConfigured.size(), 1u);  // no radio settings file: only the telephone is called out
  EXPECT_NE(c.simulatedWhileConfigured[0].find("the telephone is the SIMULATED Skype client (the default)"),
            std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qm
