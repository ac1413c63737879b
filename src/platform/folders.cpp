#include "platform/folders.h"

#include <cstdlib>

#include "platform/vb_text.h"

namespace qm {

std::filesystem::path Folders::locate(const std::string& name) const {
  // The courtesy and history settings are opened by bare name: one file per machine.
  if (equalsIgnoreCase(name, "quillmere_courtsey.ini") || equalsIgnoreCase(name, "quillmere_history.ini"))
    return machineWide(name);
  return inProgramFolder(name);
}

std::filesystem::path Folders::defaultHome() {
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::filesystem::path(x) / "quillmere";
  if (const char* h = std::getenv("HOME"); h && *h) return std::filesystem::path(h) / ".config" / "quillmere";
  return std::filesystem::current_path() / "quillmere";
}

std::filesystem::path Folders::defaultState() {
  if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x) return std::filesystem::path(x) / "quillmere";
  if (const char* h = std::getenv("HOME"); h && *h) return std::filesystem::path(h) / ".local" / "state" / "quillmere";
  return std::filesystem::current_path() / "quillmere-state";
}

}  // namespace qm
