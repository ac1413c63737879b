#include "launch/radio_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "realtime/module_loader.h"

namespace qm {

namespace {
RadioModule* loaded = nullptr;  // set once, on the program's thread, before any session has the radio node
}

RadioModule* radioModule(std::string& why) {
  if (loaded) return loaded;
  void* module = loadModule(kRadioModuleFile, why);
  if (!module) return nullptr;
  auto entry = reinterpret_cast<RadioModuleEntry>(dlsym(module, kRadioModuleEntry));
  if (!entry) {
    why = std::string(kRadioModuleFile) + " has no entry point " + kRadioModuleEntry;
    return nullptr;
  }
  loaded = entry();
  return loaded;
}

RadioModule& requireRadioModule() {
  std::string why;
  if (RadioModule* module = radioModule(why)) return *module;
  std::cerr << "quillmere: the radio node cannot run: its module could not be loaded (" << why << ")" << std::endl;
  // Ends here, at once: nothing of the half-made session (a Qt application, an instance lock) is torn down.
  std::cout.flush();
  std::fflush(nullptr);
  std::_Exit(1);
}

RadioModule* radioModuleOf(Session& session) {
  return loaded && loaded->drives(session) ? loaded : nullptr;
}

void useRadioModule(RadioModule& builtIn) {
  loaded = &builtIn;
}

}  // namespace qm
