#pragma once
// quillmere --release-ptt: opens the PTT line quillmere_radio.ini names and releases it, for a service manager to run
// after the program ended in a way that could not release it (SIGKILL, a power cut of the computer alone).
#include <ostream>

#include "platform/folders.h"

namespace qm::radio {

// 0 when the line was released (or there is none to release); 1, with the reason on `errors`, when it could not be.
int runReleasePtt(const Folders& folders, std::ostream& out, std::ostream& errors);

}  // namespace qm::radio
