// quillmere: command line -> mode and backends.
#include <QCoreApplication>
#include <clocale>
#include <fstream>
#include <iostream>

#include "app/version.h"
#include "gui/desktop.h"
#include "options.h"
#include "platform/instance_lock.h"
#include "realtime/headless_console.h"
#include "realtime/qt_scheduler.h"
#include "realtime/real_exit.h"
#include "scenario/scenario_runner.h"
#include "scenario/session.h"

namespace {

// The backends the real-time modes share, set on a new session. What it returns must outlive the session.
std::shared_ptr<void> equipSession(const qm::Options&, qm::Session&, qm::Scheduler&) {
  return nullptr;
}

int runHeadless(const qm::Options& o, std::ostream& transcript, int argc, char** argv) {
  std::setlocale(LC_TIME, "");
  QCoreApplication app(argc, argv);
  qm::QtScheduler scheduler;
  qm::Folders folders{o.home ? std::filesystem::path(*o.home) : qm::Folders::defaultHome(),
                      o.machineDir ? std::filesystem::path(*o.machineDir) : qm::Folders::defaultMachine()};
  std::error_code ec;
  std::filesystem::create_directories(folders.home, ec);
  auto lock = std::make_unique<qm::FileInstanceLock>(qm::FileInstanceLock::defaultPath(folders.home));
  std::shared_ptr<void> equipment;  // outlives the session that uses it
  qm::Session session(
      scheduler, folders, &transcript,
      [](qm::Session& s) -> std::unique_ptr<qm::ProgramExit> { return std::make_unique<qm::RealExit>(s.transcript); },
      std::move(lock));
  session.transcript.setKeeping(false);
  session.node.setCallsign(o.callsign);
  equipment = equipSession(o, session, scheduler);
  qm::HeadlessConsole console(session);
  session.start();
  console.begin();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = qm::parseOptions(args, error);
  if (!options) {
    std::cerr << "quillmere: " << error << "\n";
    return 2;
  }
  if (options->help) {
    std::cout << qm::usageText();
    return 0;
  }
  if (options->version) {
    std::cout << "quillmere " << qm::versionText() << "\n";
    return 0;
  }
  std::ofstream transcriptFile;
  std::ostream* transcript = &std::cout;
  if (options->transcript) {
    transcriptFile.open(*options->transcript, std::ios::trunc);
    if (!transcriptFile) {
      std::cerr << "quillmere: cannot write the transcript to " << *options->transcript << "\n";
      return 2;
    }
    transcript = &transcriptFile;
  }
  if (options->mode == qm::Mode::Scenario) {
    qm::ScenarioOptions so;
    so.script = options->scenario;
    if (options->home) so.home = *options->home;
    if (options->machineDir) so.machine = *options->machineDir;
    so.callsign = options->callsign;
    so.transcript = transcript;
    so.errors = &std::cerr;
    return qm::runScenario(so);
  }
  if (options->mode == qm::Mode::Desktop) {
    if (options->screenshots || qm::displayAvailable())
      return qm::runDesktop(*options, *transcript, argc, argv, [&](qm::Session& s, qm::Scheduler& scheduler) {
        return equipSession(*options, s, scheduler);
      });
    std::cerr << "quillmere: no display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM): running headless\n";
  }
  return runHeadless(*options, *transcript, argc, argv);
}
