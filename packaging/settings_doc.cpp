// Writes the settings files' documentation from the program's own tables, at build time: the manual page's key
// sections and the example files installed under share/doc/quillmere/examples.
//   settings_doc --man            the key sections, roff
//   settings_doc --files          the settings files' names, one a line
//   settings_doc --examples DIR   every example file, written into DIR
//   settings_doc --reference MD   the Markdown file MD with each "<!-- keys of FILE -->" ... "<!-- end of keys -->"
//                                 block holding FILE's table as the program has it (tests/packaging compares)
// A new settings file with a table: one line in kTables.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "access/access_settings.h"
#include "app/main_settings_table.h"
#include "courtesy/courtesy_settings_table.h"
#include "echolink_net/echolink_net_settings.h"
#include "radio/radio_settings.h"
#include "sip/sip_settings.h"
#include "web/web_settings.h"

namespace {

using TableOf = const qm::SettingsTable& (*)();
constexpr TableOf kTables[] = {qm::mainSettingsTable,      qm::radio::radioSettingsTable,
                               qm::sipSettingsTable,       qm::echolink_net::echoLinkSettingsTable,
                               qm::dialRulesSettingsTable, qm::web::webSettingsTable,
                               qm::courtesySettingsTable};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--man") == 0) {
    for (TableOf table : kTables) std::cout << table().manSection();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--files") == 0) {
    for (TableOf table : kTables) std::cout << table().file() << "\n";
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--examples") == 0) {
    std::filesystem::create_directories(argv[2]);
    for (TableOf table : kTables) {
      std::ofstream out(std::filesystem::path(argv[2]) / table().file(), std::ios::binary | std::ios::trunc);
      out << table().exampleFile();
      if (!out.flush()) return std::cerr << "settings_doc: cannot write into " << argv[2] << "\n", 1;
    }
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--reference") == 0) {
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) return std::cerr << "settings_doc: cannot read " << argv[2] << "\n", 1;
    const std::string begin = "<!-- keys of ", end = "<!-- end of keys -->";
    std::string line;
    bool skipping = false;
    while (std::getline(in, line)) {
      if (skipping && line != end) continue;
      skipping = false;
      std::cout << line << "\n";
      if (line.rfind(begin, 0) != 0) continue;
      const std::string file = line.substr(begin.size(), line.find(" -->") - begin.size());
      for (TableOf table : kTables)
        if (table().file() == file) std::cout << table().markdownTable(), skipping = true;
      if (!skipping) return std::cerr << "settings_doc: no table of " << file << "\n", 1;
    }
    return 0;
  }
  std::cerr << "usage: settings_doc --man | --files | --examples DIR | --reference MD\n";
  return 2;
}
