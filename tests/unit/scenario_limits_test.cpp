// The scenario runner on hostile scripts: regular expressions over long texts and with nested quantifiers, waits of
// absurd length, NUL bytes. Each ends with the contract's exit status (1 a failed expectation, 2 a wrong script),
// quickly, and a wrong script is refused before anything runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "scenario/scenario_runner.h"
#include "scenario/script.h"

namespace qm {
namespace {

struct Outcome {
  int status;
  std::string transcript, errors;
};

Outcome run(const std::string& script) {
  char tmpl[] = "/tmp/quillmere-limits-XXXXXX.scn";
  int fd = mkstemps(tmpl, 4);
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream(tmpl, std::ios::binary) << script;
  std::ostringstream transcript, errors;
  ScenarioOptions o;
  o.script = tmpl;
  o.transcript = &transcript;
  o.errors = &errors;
  int status = runScenario(o);
  std::filesystem::remove(tmpl);
  return {status, transcript.str(), errors.str()};
}

TEST(ScenarioPatterns, ALongTextOrANestedQuantifierGivesAnAnswerNotACrash) {
  const std::string longText(50000, 'a');
  std::string set = "start\nset frmMain.txtSend \"" + longText + "\"\n";
  // Recursive engines overflow the stack on this one.
  EXPECT_EQ(run(set + "expect frmMain.txtSend ~ \"^(a|b)*c$\"\n").status, 1);
  EXPECT_EQ(run(set + "expect frmMain.txtSend ~ \"^(a|b)*$\"\n").status, 0);
  // Backtracking engines take exponential time on this one.
  std::string thirty = "start\nset frmMain.txtSend \"" + std::string(30, 'a') + "\"\n";
  Outcome nested = run(thirty + "expect frmMain.txtSend ~ \"^(a*)*b$\"\n");
  EXPECT_EQ(nested.status, 1);
  EXPECT_NE(nested.errors.find("expected frmMain.txtSend ~"), std::string::npos) << nested.errors;
  EXPECT_EQ(run(thirty + "expect frmMain.txtSend ~ \"^(a*)*$\"\n").status, 0);
  // ECMAScript's lookahead: a line without " -- " in it.
  std::string line = "start\nset frmMain.txtSend \"Call to 5551234 -- busy\"\n";
  EXPECT_EQ(run(line + "expect frmMain.txtSend ~ \"^(?:(?! -- )[^\\r\\n])+ -- busy$\"\n").status, 0);
  EXPECT_EQ(run(line + "expect frmMain.txtSend ~ \"^(?:(?! -- )[^\\r\\n])+$\"\n").status, 1);
}

TEST(ScenarioPatterns, APatternThatDoesNotParseIsRefusedBeforeTheRun) {
  Outcome bad = run("start\nwait 1s\nexpect frmMain.txtSend ~ \"(\"\n");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.errors.find(":3: not a regular expression: ("), std::string::npos) << bad.errors;
  EXPECT_EQ(bad.transcript, "");
}

TEST(ScenarioWaits, AWaitIsBoundedToAMonthAndCheckedBeforeTheRun) {
  using namespace std::chrono_literals;
  EXPECT_EQ(parseWaitTime("744h"), kLongestWait);
  EXPECT_THROW(parseWaitTime("745h"), ScriptError);
  Outcome absurd = run("start\nwait 1s\nwait 2777777h\n");
  EXPECT_EQ(absurd.status, 2);
  EXPECT_NE(absurd.errors.find(":3: 'wait' takes at most 31 days"), std::string::npos) << absurd.errors;
  EXPECT_EQ(absurd.transcript, "");
  EXPECT_EQ(run("start\nwait ten\n").status, 2);
}

TEST(ScenarioText, ANulByteInALineIsAScriptError) {
  Outcome nul =
      run(std::string("start\ndtmf \"*#1\0"
                      "2\"\n",
                      17));
  EXPECT_EQ(nul.status, 2);
  EXPECT_NE(nul.errors.find("line 2: a NUL byte at column 10"), std::string::npos) << nul.errors;
  EXPECT_EQ(nul.transcript.find("say"), std::string::npos);
}

}  // namespace
}  // namespace qm
