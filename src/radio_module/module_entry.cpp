// libquillmere_radio.so's entry point: the executable looks it up after loading the module (launch/radio_module.h).
#include "radio_module/radio_launch.h"

extern "C" __attribute__((visibility("default"))) qm::RadioModule* quillmere_radio_module() {
  return &qm::builtInRadioModule();
}
