// --help names every option of the command line and the folders as this machine resolves them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "options.h"

namespace qm {
namespace {

// Sets an environment variable for one test and puts the old value back after it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(HelpText, ShowsTheFoldersThisMachineResolves) {
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/srv/node-config");
    ScopedEnv home("HOME", "/home/operator");
    std::string help = usageText();
    EXPECT_NE(help.find("here /srv/node-config/quillmere)"), std::string::npos) << help;
    EXPECT_NE(help.find("program folder (/srv/node-config/quillmere)"), std::string::npos) << help;
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", "/home/operator");
    std::string help = usageText();
    EXPECT_NE(help.find("here /home/operator/.config/quillmere)"), std::string::npos) << help;
    EXPECT_EQ(help.find("/srv/node-config"), std::string::npos) << help;
  }
  EXPECT_NE(usageText().find("machine-wide settings folder (default /etc/quillmere)"), std::string::npos);
}

TEST(HelpText, NamesEveryOptionOfTheCommandLine) {
  std::string help = usageText();
  for (const char* option : {"--headless", "--scenario FILE", "--real-time", "--home DIR", "--machine-dir DIR",
                             "--callsign CALL", "--node", "--skype", "--voice", "--air FILE.wav", "--report-url URL",
                             "--no-report", "--transcript FILE", "--screenshots DIR", "--help", "--version"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace qm
