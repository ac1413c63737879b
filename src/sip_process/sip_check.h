#pragma once
// quillmere --check's SIP part: with an account that registers, a real registration is tried, as a start would try
// it, for a few seconds at most (baresip run on files in a temporary folder, on ports of its own, without sound), and
// the outcome is said in the words the running program uses: registered, refused (with the provider's reason) or no
// answer from the registrar.
#include <ostream>

#include "platform/folders.h"

namespace qm {

// Prints the SIP section; false when an account that should register did not.
bool runSipCheck(const Folders& folders, std::ostream& out);

}  // namespace qm
