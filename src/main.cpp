// quillmere: command line -> mode and backends.
#include <dlfcn.h>

#include <QCoreApplication>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "app/backend_table.h"
#include "app/config_check.h"
#include "app/version.h"
#include "espeak/espeak_voice.h"
#include "launch/launch.h"
#include "launch/radio_module.h"
#include "launch/service_manager.h"
#include "launch/session_builder.h"
#include "oath/oath_backend.h"
#include "options.h"
#include "platform/instance_lock.h"
#include "platform/log_priority.h"
#include "realtime/headless_console.h"
#include "realtime/module_loader.h"
#include "realtime/qt_scheduler.h"
#include "realtime/real_exit.h"
#include "realtime/signal_watch.h"
#include "report/report_target.h"
#include "scenario/scenario_runner.h"
#include "session/session.h"
#include "sip_process/sip_check.h"
#include "web/user_command.h"
#include "web/web_check.h"

namespace {

using qm::equipSession;
using qm::makeEspeak;

// The desktop program lives in a module of its own (Qt Widgets and its graphics libraries), loaded only when the
// desktop is asked for, so the headless node carries none of it. Nothing when the module cannot be loaded.
std::optional<int> runDesktopModule(int argc, char** argv) {
  std::string why;
  if (void* module = qm::loadModule("libquillmere_desktop.so", why)) {
    using Entry = int (*)(int, char**);
    if (auto entry = reinterpret_cast<Entry>(dlsym(module, "quillmere_desktop_main"))) return entry(argc, argv);
    why = "libquillmere_desktop.so has no desktop entry point";
  }
  std::cerr << "quillmere: the desktop module could not be loaded (" << why << "): running headless\n";
  return std::nullopt;
}

int runHeadless(qm::Options o, std::ostream& transcript, qm::AirRecording* air, int argc, char** argv) {
  std::setlocale(LC_TIME, "");
  QCoreApplication app(argc, argv);
  qm::QtScheduler scheduler;
  qm::Folders folders{o.home ? std::filesystem::path(*o.home) : qm::Folders::defaultHome(),
                      o.machineDir ? std::filesystem::path(*o.machineDir) : qm::Folders::defaultMachine(),
                      qm::Folders::defaultState()};
  qm::chooseBackends(o, folders, true);
  std::error_code ec;
  std::filesystem::create_directories(folders.home, ec);
  auto lock = std::make_unique<qm::FileInstanceLock>(qm::FileInstanceLock::defaultPath(folders.home));
  std::shared_ptr<void> equipment;  // outlives the session that uses it
  const auto owned = qm::buildSession(o, scheduler, folders, transcript, std::move(lock));
  qm::Session& session = *owned;
  equipment = equipSession(o, session, scheduler, air);
  qm::HeadlessConsole console(session);
  qm::HeadlessConsole::tellHowToStop(std::cerr, o.transcript ? *o.transcript : "");
  qm::ServiceManager service(scheduler, session);
  session.start();  // a start that is refused ends the program here
  service.ready("on the air as " + session.node.callsign() + " (" +
                std::string(qm::findBackend(qm::BackendRole::Node, o.node)->says) + ", " +
                std::string(qm::findBackend(qm::BackendRole::Telephone, o.skype)->says) + ")");
  console.begin();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  qm::ensureStandardStreams();
  qm::useJournalPriorities();
  qm::ignoreBrokenPipe();
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
  if (options->releasePtt || options->check) {
    const qm::Folders folders{
        options->home ? std::filesystem::path(*options->home) : qm::Folders::defaultHome(),
        options->machineDir ? std::filesystem::path(*options->machineDir) : qm::Folders::defaultMachine()};
    if (options->releasePtt) return qm::requireRadioModule().releasePtt(folders, std::cout, std::cerr);
    std::string why;
    qm::RadioModule* radio = qm::radioModule(why);
    const auto radioCheck = [&](const qm::radio::RadioSettings& settings, qm::CheckReport& report) {
      if (radio)
        radio->checkRadio(settings, report);
      else
        report.blockers.push_back("the radio node's module could not be loaded (" + why + ")");
    };
    const int status = qm::runConfigCheck(folders, std::cout, radioCheck, qm::web::checkWebFiles(folders.machine));
    qm::runSipCheck(folders, std::cout);  // said, but the radio node goes on the air without it
    return status;
  }
  if (options->addUser || options->removeUser) {
    auto machine = options->machineDir ? std::filesystem::path(*options->machineDir) : qm::Folders::defaultMachine();
    return qm::web::runUserCommand(*options, machine, std::cin, std::cout, std::cerr);
  }
  if (options->reportUrl && !qm::parseReportUrl(*options->reportUrl)) {
    std::cerr << "quillmere: --report-url takes http://HOST[:PORT]/PATH, not '" << *options->reportUrl << "'\n";
    return 2;
  }
  if (options->mode == qm::Mode::Desktop) {
    if (options->screenshots || qm::displayAvailable()) {
      if (auto status = runDesktopModule(argc, argv)) return *status;
    } else {
      std::cerr << "quillmere: no display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM): running headless\n";
    }
  }
  auto outputs = qm::openOutputs(*options);
  if (!outputs) return 2;
  std::ostream* transcript = outputs->transcript;
  auto& air = outputs->air;
  if (options->mode == qm::Mode::Scenario) {
    qm::ScenarioOptions so;
    so.script = options->scenario;
    if (options->home) so.home = *options->home;
    if (options->machineDir) so.machine = *options->machineDir;
    if (options->callsignGiven) so.callsign = options->callsign;
    so.transcript = transcript;
    so.errors = &std::cerr;
    so.air = air.get();
    // A scenario runs in virtual time, faster than sound can play: espeak only speaks into the air recording there.
    const bool radio = !qm::simulatedBackend(qm::BackendRole::Node, options->node);
    bool espeak = options->voice.value_or("estimate") == "espeak";
    if (espeak && !radio)
      so.makeVoice = [&air](qm::Scheduler& scheduler) -> std::unique_ptr<qm::Voice> {
        return makeEspeak(scheduler, air.get(), false);
      };
    so.reportUrl = options->reportUrl.value_or("");
    so.noReport = options->noReport;
    so.prepare = [](qm::Session& session) { qm::installOneTimeCodes(session.backends); };
    if (!options->realTime) return qm::runScenario(so);
    // On the wall clock: Qt's event loop runs during each wait, and the real backends can be used.
    std::setlocale(LC_TIME, "C");
    QCoreApplication app(argc, argv);
    qm::QtScheduler scheduler;
    so.realTime = &scheduler;
    so.passTime = qm::runEventLoopFor;
    std::unique_ptr<qm::SignalWatch> stop;
    std::string stoppedBy;
    std::unique_ptr<qm::EspeakVoice> radioVoice;  // outlives the run's session
    so.makeNode = qm::nodeFactory(options->node);
    so.prepare = [&](qm::Session& s) {
      qm::installOneTimeCodes(s.backends);
      qm::installTelephone(options->skype, s);
      // A stop from outside is the node closing; the run ends after it. The radio node takes the signals over on its
      // own thread once it runs, so that it releases the transmitter even while the program's thread is busy.
      stop = std::make_unique<qm::SignalWatch>([&s, &stoppedBy](int signal) {
        stoppedBy = qm::signalName(signal);
        qm::runUntilEnded([&] { s.node.closing(); });
      });
      qm::RadioModule* radioModule = qm::radioModuleOf(s);
      if (!radioModule) return;
      radioModule->installNode(s, air.get());
      // The voice speaks into the radio's transmitter.
      if (espeak) radioVoice = makeEspeak(s.backends.scheduler, air.get(), false, &s);
      if (radioVoice) s.useVoice(*radioVoice);
    };
    so.stopReason = [&stoppedBy] { return stoppedBy; };
    return qm::runScenario(so);
  }
  return runHeadless(*options, *transcript, air.get(), argc, argv);
}
