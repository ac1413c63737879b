// quillmere: command line -> mode and backends.
#include <QCoreApplication>
#include <clocale>
#include <fstream>
#include <iostream>

#include "app/version.h"
#include "echolink/air_recording.h"
#include "espeak/espeak_voice.h"
#include "curl/curl_http_client.h"
#include "gui/desktop.h"
#include "options.h"
#include "platform/instance_lock.h"
#include "realtime/headless_console.h"
#include "realtime/qt_scheduler.h"
#include "realtime/real_exit.h"
#include "report/report_target.h"
#include "scenario/scenario_runner.h"
#include "scenario/session.h"
#include "sip/sip_client.h"
#include "sip_process/qt_agent_io.h"

namespace {

void reportProblem(const std::string& problem) {
  std::cerr << "quillmere: " << problem << std::endl;
}

// The SIP client in place of the simulated Skype client: baresip as a child process on this event loop, its
// remarks on standard error.
void installSip(qm::Session& session) {
  qm::installSipClient(session, std::make_unique<qm::QtAgentIo>(),
                       [](const std::string& text) { std::cerr << "quillmere: sip: " << text << std::endl; });
}

// The espeak-ng voice, or none (the estimate voice stays) when espeak-ng cannot start.
std::unique_ptr<qm::EspeakVoice> makeEspeak(qm::Scheduler& scheduler, qm::AirRecording* air, bool playAloud) {
  auto voice = std::make_unique<qm::EspeakVoice>(scheduler, air, qm::EspeakVoice::Settings{playAloud, "default"});
  if (!voice->available()) {
    reportProblem(voice->problem() + "; the estimate voice speaks silently instead");
    return nullptr;
  }
  voice->onProblem = reportProblem;
  return voice;
}

// The real-time backends a new session gets in the desktop and headless modes: the espeak-ng voice, the usage report
// over the network, the air recording. What it returns must outlive the session.
struct Equipment {
  std::unique_ptr<qm::EspeakVoice> espeak;
  std::unique_ptr<qm::CurlHttpClient> http;
};

std::shared_ptr<void> equipSession(const qm::Options& o, qm::Session& session, qm::Scheduler& scheduler,
                                   qm::AirRecording* air) {
  auto equipment = std::make_shared<Equipment>();
  session.backends.air = air;
  // Pictures of the windows need neither a voice nor the report.
  bool screenshots = o.screenshots.has_value();
  if (!screenshots && o.voice.value_or("espeak") == "espeak") equipment->espeak = makeEspeak(scheduler, air, true);
  if (equipment->espeak) session.useVoice(*equipment->espeak);
  if (o.noReport || screenshots) {
    session.backends.http = nullptr;
  } else {
    equipment->http = std::make_unique<qm::CurlHttpClient>();
    session.httpRecorder.passTo(equipment->http.get());  // the transcript still shows the report
  }
  session.backends.reportUrl = o.reportUrl.value_or("");
  if (o.skype == "sip") installSip(session);
  return equipment;
}

int runHeadless(const qm::Options& o, std::ostream& transcript, qm::AirRecording* air, int argc, char** argv) {
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
  equipment = equipSession(o, session, scheduler, air);
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
  if (options->reportUrl && !qm::parseReportUrl(*options->reportUrl)) {
    std::cerr << "quillmere: --report-url takes http://HOST[:PORT]/PATH, not '" << *options->reportUrl << "'\n";
    return 2;
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
  std::unique_ptr<qm::AirRecording> air;
  if (options->air) {
    try {
      air = std::make_unique<qm::AirRecording>(*options->air);
    } catch (const std::exception& e) {
      std::cerr << "quillmere: " << e.what() << "\n";
      return 2;
    }
    air->onError = reportProblem;
  }
  if (options->mode == qm::Mode::Scenario) {
    qm::ScenarioOptions so;
    so.script = options->scenario;
    if (options->home) so.home = *options->home;
    if (options->machineDir) so.machine = *options->machineDir;
    so.callsign = options->callsign;
    so.transcript = transcript;
    so.errors = &std::cerr;
    so.air = air.get();
    // A scenario runs in virtual time, faster than sound can play: espeak only speaks into the air recording there.
    if (options->voice.value_or("estimate") == "espeak")
      so.makeVoice = [&air](qm::Scheduler& scheduler) -> std::unique_ptr<qm::Voice> {
        return makeEspeak(scheduler, air.get(), false);
      };
    so.reportUrl = options->reportUrl.value_or("");
    so.noReport = options->noReport;
    if (!options->realTime) return qm::runScenario(so);
    // On the wall clock: Qt's event loop runs during each wait, and the real backends can be used.
    std::setlocale(LC_TIME, "C");
    QCoreApplication app(argc, argv);
    qm::QtScheduler scheduler;
    so.realTime = &scheduler;
    so.passTime = qm::runEventLoopFor;
    if (options->skype == "sip") so.prepare = installSip;
    return qm::runScenario(so);
  }
  if (options->mode == qm::Mode::Desktop) {
    if (options->screenshots || qm::displayAvailable())
      return qm::runDesktop(*options, *transcript, argc, argv, [&](qm::Session& s, qm::Scheduler& scheduler) {
        return equipSession(*options, s, scheduler, air.get());
      });
    std::cerr << "quillmere: no display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM): running headless\n";
  }
  return runHeadless(*options, *transcript, air.get(), argc, argv);
}
