// The settings tables that the example files and the manual page are written from: an example file reads back, through
// the program's own reader, as the program's defaults with every key present, and the main settings' documented
// defaults are what the main window's load gives an empty program folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "app/frm_main.h"
#include "app/main_settings_table.h"
#include "app/program.h"
#include "courtesy/courtesy_settings_table.h"
#include "courtesy/form21.h"
#include "echolink_net/echolink_net_settings.h"
#include "platform/clock_format.h"
#include "platform/virtual_scheduler.h"
#include "radio/radio_settings.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"
#include "sip/sip_settings.h"
#include "web/web_settings.h"

namespace qm {
namespace {

template <class Settings, class Reader>
void expectExampleGivesDefaults(const SettingsTable& table, Reader read) {
  const ProfileFile example = ProfileFile::parse(table.exampleFile());
  for (const SettingKey& key : table.keys())
    EXPECT_TRUE(example.get("SETTINGS", key.name)) << table.file() << " has no " << key.name;
  std::vector<std::string> problems;
  EXPECT_TRUE(read(example, table.file(), problems) == Settings{}) << table.file();
  EXPECT_TRUE(problems.empty()) << problems.front();
}

TEST(SettingsTables, EachExampleFileReadsBackAsTheDefaultsWithEveryKey) {
  expectExampleGivesDefaults<radio::RadioSettings>(
      radio::radioSettingsTable(), [](const ProfileFile& f, const std::string& n, std::vector<std::string>& p) {
        return radio::readRadioSettings(f, n, p);
      });
  expectExampleGivesDefaults<SipSettings>(
      sipSettingsTable(),
      [](const ProfileFile& f, const std::string& n, std::vector<std::string>& p) { return readSipSettings(f, n, p); });
  expectExampleGivesDefaults<echolink_net::EchoLinkNetSettings>(
      echolink_net::echoLinkSettingsTable(),
      [](const ProfileFile& f, const std::string& n, std::vector<std::string>& p) {
        return echolink_net::readEchoLinkSettings(f, n, p);
      });
  const auto web = std::filesystem::temp_directory_path() / ("quillmere-web-example-" + std::to_string(::getpid()));
  expectExampleGivesDefaults<web::WebSettings>(
      web::webSettingsTable(), [&web](const ProfileFile& f, const std::string&, std::vector<std::string>& p) {
        std::ofstream(web, std::ios::binary) << f.text();
        auto settings = web::readWebSettings(web, p);
        std::filesystem::remove(web);
        return settings;
      });
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

TEST(SettingsTables, TheWindowsDefaultsAreWhatTheirLoadsGiveAnEmptyFolder) {
  const auto folder = std::filesystem::temp_directory_path() / ("quillmere-main-table-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  Scheduler::TimePoint start;
  parseLocalDateTime("2026-01-01 00:00:00", start);
  VirtualScheduler scheduler(start);
  Session session(
      scheduler, Folders{folder, folder, folder / "state"}, nullptr,
      [](Session& s) -> std::unique_ptr<ProgramExit> { return std::make_unique<ScenarioExit>(s.transcript, [] {}); },
      std::make_unique<FixedInstanceLock>(false));
  session.start();
  int compared = 0;
  // A key the main window keeps in a control of its name (VOICESPEED in VoiceSpeed).
  for (const SettingKey& key : mainSettingsTable().keys())
    for (const Control* control : session.program().main().controls())
      if (lower(control->name()) == lower(key.name)) {
        EXPECT_EQ(control->value(), key.fallback) << key.name;
        ++compared;
      }
  EXPECT_GE(compared, 8);
  compared = 0;
  for (const SettingKey& key : courtesySettingsTable().keys())
    for (const Control* control : session.program().form21().controls())
      if (lower(control->name()) == lower(key.name)) {
        EXPECT_EQ(control->value(), key.fallback) << key.name;
        ++compared;
      }
  EXPECT_EQ(compared, static_cast<int>(courtesySettingsTable().keys().size()));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace qm
