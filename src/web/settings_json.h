#pragma once
// The Settings tab's JSON: every file with its keys (name, kind, range or choices, default, help, the value or, for a
// secret, only whether it is set, and whether a change waits for the next start), and the answer to a change.
#include <string>
#include <vector>

#include "control/remote_settings.h"

namespace qm::web {

std::string settingsJson(const std::vector<RemoteSettings::File>& files);
std::string settingChangeJson(const RemoteSettings::Outcome& outcome);

}  // namespace qm::web
