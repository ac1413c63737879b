#pragma once
// quillmere.ini's keys as a table, for the manual page and the example file. The main window's load reads them into
// its controls itself (main_settings.cpp); a test holds the defaults here to what that load gives. A new key of
// quillmere.ini: one row here, and its reading where the program uses it.
#include "platform/settings_table.h"

namespace qm {

const SettingsTable& mainSettingsTable();

}  // namespace qm
