// The command line's choice of the Skype backend and of real time for scenarios.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qm
