#pragma once
// quillmere_courtsey.ini's keys as a table, for the manual page, the example file and the web page's Settings tab. The
// courtesy window's load reads them into its controls itself (form21.cpp); a test holds the defaults here to what that
// load gives. A new key: one row here, and its reading and saving in the window.
#include "platform/settings_table.h"

namespace qm {

inline constexpr const char* kCourtesySettingsFile = "quillmere_courtsey.ini";

const SettingsTable& courtesySettingsTable();

}  // namespace qm
