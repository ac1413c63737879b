#include "realtime/module_loader.h"

#include <dlfcn.h>

namespace qm {

std::vector<std::filesystem::path> modulePlaces(const std::string& fileName) {
  std::vector<std::filesystem::path> places;
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    places.push_back(exe.parent_path() / fileName);
    places.push_back(exe.parent_path().parent_path() / "lib" / "quillmere" / fileName);
  }
  places.push_back(std::filesystem::path(QUILLMERE_MODULE_DIR) / fileName);
  return places;
}

void* loadModule(const std::string& fileName, std::string& why) {
  const std::vector<std::filesystem::path> places = modulePlaces(fileName);
  std::error_code ec;
  why = fileName + " is in none of " + places.front().parent_path().string();
  for (std::size_t i = 1; i < places.size(); ++i) why += ", " + places[i].parent_path().string();
  bool tried = false;
  for (const auto& place : places) {
    if (!std::filesystem::exists(place, ec)) continue;
    if (void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    const char* reason = dlerror();
    // The first file that exists and fails tells why; later places are still tried.
    if (!tried) why = reason != nullptr ? reason : place.string() + " cannot be loaded";
    tried = true;
  }
  return nullptr;
}

}  // namespace qm
