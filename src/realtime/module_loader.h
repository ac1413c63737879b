#pragma once
// The program's modules (the desktop, the radio node) are shared objects loaded only when their part is asked for,
// so that a run without them maps none of their libraries; the library preloaded into baresip is found the same way.
// Each is looked for next to the executable (the build tree), in ../lib/quillmere beside its bin folder (a relocated
// install), then in the installed module folder.
#include <filesystem>
#include <string>
#include <vector>

namespace qm {

// Where `fileName` is looked for, in that order.
std::vector<std::filesystem::path> modulePlaces(const std::string& fileName);

// The loaded module `fileName` (e.g. "libquillmere_desktop.so"), never unloaded; null when no place holds one that
// loads, with `why` naming the file tried and the loader's reason.
void* loadModule(const std::string& fileName, std::string& why);

}  // namespace qm
