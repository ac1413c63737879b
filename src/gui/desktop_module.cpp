// The desktop program as a module of its own: the quillmere executable loads it only when the desktop is asked for,
// so that a headless node never maps Qt Widgets and its graphics libraries.
#include "gui/desktop.h"
#include "launch/launch.h"
#include "options.h"
#include "radio_module/radio_launch.h"

extern "C" __attribute__((visibility("default"))) int quillmere_desktop_main(int argc, char** argv) {
  // The radio is built into the desktop module: no second module is loaded for it.
  qm::useRadioModule(qm::builtInRadioModule());
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = qm::parseOptions(args, error);
  if (!options) return 2;  // the executable has already checked the options
  // Screenshots run on scratch folders and the simulated backends.
  if (!options->screenshots)
    qm::chooseBackends(
        *options,
        {options->home ? std::filesystem::path(*options->home) : qm::Folders::defaultHome(),
         options->machineDir ? std::filesystem::path(*options->machineDir) : qm::Folders::defaultMachine()},
        false);
  auto outputs = qm::openOutputs(*options);
  if (!outputs) return 2;
  qm::AirRecording* air = outputs->air.get();
  return qm::runDesktop(*options, *outputs->transcript, argc, argv, [&](qm::Session& s, qm::Scheduler& scheduler) {
    return qm::equipSession(*options, s, scheduler, air);
  });
}
