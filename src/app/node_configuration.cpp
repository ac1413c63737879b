#include "app/node_configuration.h"

#include <algorithm>

#include "app/backend_table.h"
#include "app/main_settings_table.h"
#include "platform/profile_file.h"
#include "platform/vb_text.h"
#include "radio/radio_settings.h"
#include "sip/sip_settings.h"

namespace qm {

namespace {

// One backend choice: the option, else the file's key when it names one of the row's backends, else the row's default.
void choose(const ProfileFile& file, const std::filesystem::path& path, const char* keyName, const char* option,
            const std::optional<std::string>& given, std::string& value, std::string& from,
            std::vector<std::string>& problems) {
  const SettingKey& key = *mainSettingsTable().find(keyName);
  value = key.fallback;
  if (given) {
    value = *given;
    from = std::string(option) + " " + *given;
    return;
  }
  const auto stored = file.get("SETTINGS", key.name);
  if (!stored || stored->empty()) return;
  const std::string word = asciiLower(*stored);
  if (std::find(key.choices.begin(), key.choices.end(), word) != key.choices.end()) {
    value = word;
    from = key.name + "=" + *stored + " in " + mainSettingsTable().file();
    return;
  }
  problems.push_back(path.string() + ": the value \"" + *stored + "\" of " + key.name + " names no backend (" +
                     orList(key.choices) + "); using \"" + key.fallback + "\" instead.");
  from = "the default, as " + key.name + " names no backend";
}

}  // namespace

NodeConfiguration readNodeConfiguration(const Folders& folders, const std::optional<std::string>& nodeOption,
                                        const std::optional<std::string>& telephoneOption) {
  NodeConfiguration c;
  const auto path = folders.inProgramFolder(mainSettingsTable().file());
  const ProfileFile file = ProfileFile::load(path);
  choose(file, path, "Node", "--node", nodeOption, c.node, c.nodeFrom, c.problems);
  choose(file, path, "Telephone", "--skype", telephoneOption, c.telephone, c.telephoneFrom, c.problems);
  std::error_code ec;
  const auto radioFile = folders.inProgramFolder(radio::kRadioSettingsFile);
  if (simulatedBackend(BackendRole::Node, c.node) && std::filesystem::exists(radioFile, ec))
    c.simulatedWhileConfigured.push_back("the node is the SIMULATED one (" + c.nodeFrom + ") although " +
                                         radioFile.string() + " exists: nothing goes on the air; set Node=radio in " +
                                         path.string() + " or start with --node radio");
  const auto sipFile = folders.inProgramFolder(kSipSettingsFile);
  if (simulatedBackend(BackendRole::Telephone, c.telephone) && std::filesystem::exists(sipFile, ec))
    c.simulatedWhileConfigured.push_back(
        "the telephone is the SIMULATED Skype client (" + c.telephoneFrom + ") although " + sipFile.string() +
        " exists: no real call is placed, and a simulated one only looks answered; set Telephone=sip in " +
        path.string() + " or start with --skype sip");
  return c;
}

}  // namespace qm
