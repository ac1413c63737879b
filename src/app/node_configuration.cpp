#include "app/node_configuration.h"

#include <algorithm>
#include <cctype>

#include "platform/profile_file.h"
#include "radio/radio_settings.h"
#include "sip/sip_settings.h"

namespace qm {

namespace {

constexpr const char* kMainFile = "quillmere.ini";

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// One backend choice: the option, else the file's key when it names a legal backend, else "sim".
void choose(const ProfileFile& file, const std::filesystem::path& path, const char* key, const char* option,
            const std::optional<std::string>& given, const char* real, std::string& value, std::string& from,
            std::vector<std::string>& problems) {
  if (given) {
    value = *given;
    from = std::string(option) + " " + *given;
    return;
  }
  const auto stored = file.get("SETTINGS", key);
  if (!stored || stored->empty()) return;
  const std::string word = lower(*stored);
  if (word == "sim" || word == real) {
    value = word;
    from = std::string(key) + "=" + *stored + " in " + kMainFile;
    return;
  }
  problems.push_back(path.string() + ": the value \"" + *stored + "\" of " + key + " names no backend (sim or " + real +
                     "); using \"sim\" instead.");
  from = "the default, as " + std::string(key) + " names no backend";
}

}  // namespace

NodeConfiguration readNodeConfiguration(const Folders& folders, const std::optional<std::string>& nodeOption,
                                        const std::optional<std::string>& telephoneOption) {
  NodeConfiguration c;
  const auto path = folders.inProgramFolder(kMainFile);
  const ProfileFile file = ProfileFile::load(path);
  choose(file, path, "Node", "--node", nodeOption, "radio", c.node, c.nodeFrom, c.problems);
  choose(file, path, "Telephone", "--skype", telephoneOption, "sip", c.telephone, c.telephoneFrom, c.problems);
  std::error_code ec;
  const auto radioFile = folders.inProgramFolder(radio::kRadioSettingsFile);
  if (c.node == "sim" && std::filesystem::exists(radioFile, ec))
    c.simulatedWhileConfigured.push_back("the node is the SIMULATED one (" + c.nodeFrom + ") although " +
                                         radioFile.string() + " exists: nothing goes on the air; set Node=radio in " +
                                         path.string() + " or start with --node radio");
  const auto sipFile = folders.inProgramFolder(kSipSettingsFile);
  if (c.telephone == "sim" && std::filesystem::exists(sipFile, ec))
    c.simulatedWhileConfigured.push_back(
        "the telephone is the SIMULATED Skype client (" + c.telephoneFrom + ") although " + sipFile.string() +
        " exists: no real call is placed, and a simulated one only looks answered; set Telephone=sip in " +
        path.string() + " or start with --skype sip");
  return c;
}

}  // namespace qm
