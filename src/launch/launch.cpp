#include "launch/launch.h"

#include "oath/oath_backend.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <vector>

#include "app/node_configuration.h"
#include "app/program.h"
#include "curl/curl_http_client.h"
#include "espeak/espeak_voice.h"
#include "launch/radio_module.h"
#include "launch/session_builder.h"
#include "realtime/signal_watch.h"
#include "session/session.h"
#include "sip/sip_client.h"
#include "sip/sip_settings.h"
#include "sip_process/qt_agent_io.h"
#include "skype/incoming_calls.h"
#include "web/web_backend.h"

namespace qm {

namespace {
std::mutex problemsMutex;
std::function<void(const std::string&)> problemListener;
std::vector<std::string> earlyProblems;  // reported before anyone listened; the first few are kept
std::vector<std::function<void(const std::string&)>> problemWatchers;
constexpr std::size_t kEarlyProblems = 20;

void report(const std::string& problem, LogLevel level) {
  std::cerr << logPrefix(level) << "quillmere: " << problem << std::endl;
  std::function<void(const std::string&)> listener;
  std::vector<std::function<void(const std::string&)>> watchers;
  {
    std::lock_guard<std::mutex> hold(problemsMutex);
    watchers = problemWatchers;
    if (problemListener)
      listener = problemListener;
    else if (earlyProblems.size() < kEarlyProblems)
      earlyProblems.push_back(problem);
  }
  if (listener) listener(problem);
  for (const auto& watcher : watchers) watcher(problem);
}
}  // namespace

void watchProblems(std::function<void(const std::string&)> watcher) {
  std::lock_guard<std::mutex> hold(problemsMutex);
  problemWatchers.push_back(std::move(watcher));
}

void reportProblem(const std::string& problem) {
  report(problem, LogLevel::Warning);
}

void reportError(const std::string& problem) {
  report(problem, LogLevel::Error);
}

void listenForProblems(std::function<void(const std::string&)> listener) {
  std::vector<std::string> early;
  {
    std::lock_guard<std::mutex> hold(problemsMutex);
    problemListener = listener;
    if (listener) early.swap(earlyProblems);
  }
  for (const std::string& p : early) listener(p);
}

// The SIP client in place of the simulated Skype client: baresip as a child process on this event loop, its
// remarks on standard error.
// With the radio node the call's audio goes through the node's JACK server, its ports followed by the node.
void installSip(Session& session) {
  SipClient& sip = installSipClient(session, std::make_unique<QtAgentIo>(), [](const std::string& text) {
    // baresip failing to start or stopping, and the account's registration, are for the operator; the other steps
    // are details.
    if (text.rfind("baresip is down", 0) == 0 || text.rfind("SIP account ", 0) == 0)
      reportProblem("sip: " + text);
    else
      std::cerr << logPrefix(LogLevel::Info) << "quillmere: sip: " << text << std::endl;
  });
  if (RadioModule* radio = radioModuleOf(session)) radio->joinCall(session, sip);
}

// The account's registration as the web page shows it.
static std::string registrationText(const SipRegistration& r) {
  switch (r.state()) {
    case SipRegistration::State::Off:
      return "off";
    case SipRegistration::State::Registering:
      return "registering";
    case SipRegistration::State::Registered:
      return "registered";
    case SipRegistration::State::Refused:
      return r.reason().empty() ? "refused" : "refused: " + r.reason();
    case SipRegistration::State::NoAnswer:
      return "no answer";
  }
  return "";
}

// The espeak-ng voice, or none (the estimate voice stays) when espeak-ng cannot start.
std::unique_ptr<EspeakVoice> makeEspeak(Scheduler& scheduler, AirRecording* air, bool playAloud, Session* session) {
  EspeakVoice::Settings settings{playAloud, "default", {}};
  if (RadioModule* radio = session ? radioModuleOf(*session) : nullptr) {
    settings.playAloud = false;
    settings.sink = radio->speechSink(*session);
  }
  auto voice = std::make_unique<EspeakVoice>(scheduler, air, std::move(settings));
  if (!voice->available()) {
    reportProblem(voice->problem() + "; the estimate voice speaks silently instead");
    return nullptr;
  }
  voice->onProblem = reportProblem;
  return voice;
}

// The real-time backends a new session gets in the desktop and headless modes: the espeak-ng voice, the usage report
// over the network, the air recording, and stop signals. What it returns must outlive the session.
struct Equipment {
  std::unique_ptr<EspeakVoice> espeak;
  std::unique_ptr<CurlHttpClient> http;
  std::unique_ptr<SignalWatch> stop;
};

std::shared_ptr<void> equipSession(const Options& o, Session& session, Scheduler& scheduler, AirRecording* air) {
  auto equipment = std::make_shared<Equipment>();
  // A stop from outside is the node closing: the program unkeys and ends.
  equipment->stop = std::make_unique<SignalWatch>([&session](int) { session.node.closing(); });
  session.backends.air = air;
  installOneTimeCodes(session.backends);
  if (RadioModule* radio = radioModuleOf(session)) radio->installNode(session, air);
  // Pictures of the windows need neither a voice nor the report.
  bool screenshots = o.screenshots.has_value();
  if (!screenshots && o.voice.value_or("espeak") == "espeak")
    equipment->espeak = makeEspeak(scheduler, air, true, &session);
  if (equipment->espeak) session.useVoice(*equipment->espeak);
  if (o.noReport || screenshots) {
    session.backends.http = nullptr;
  } else {
    equipment->http = std::make_unique<CurlHttpClient>();
    session.httpRecorder.passTo(equipment->http.get());  // the transcript still shows the report
  }
  session.backends.reportUrl = o.reportUrl.value_or("");
  installTelephone(o.skype, session);
  SipClient* sip = session.extension<SipClient>();
  if (!screenshots) {
    web::NodeHooks web;
    // As the settings windows' saves do: the SIP account reloaded, the EchoLink network made anew.
    if (sip)
      web.applySettings[kSipSettingsFile] = [sip] {
        sip->reload();
        return true;
      };
    web.reportProblem = reportProblem;
    web.watchProblems = watchProblems;
    if (sip) web.registration = [sip] { return registrationText(sip->skype().registration()); };
    if (RadioModule* radio = radioModuleOf(session)) radio->hookWebPage(session, web);
    web::installWebServer(session, std::move(web));
  }
  return equipment;
}

void chooseBackends(Options& o, const Folders& folders, bool unattended) {
  const NodeConfiguration c = readNodeConfiguration(folders, o.nodeGiven ? std::optional(o.node) : std::nullopt,
                                                    o.skypeGiven ? std::optional(o.skype) : std::nullopt);
  for (const std::string& problem : c.problems) reportProblem(problem);
  if (unattended)
    for (const std::string& warning : c.simulatedWhileConfigured) reportProblem("WARNING: " + warning);
  o.node = c.node;
  o.skype = c.telephone;
}

std::unique_ptr<Outputs> openOutputs(const Options& options) {
  auto out = std::make_unique<Outputs>();
  out->transcript = &std::cout;
  if (options.transcript) {
    out->file.open(*options.transcript, std::ios::trunc);
    if (!out->file) {
      std::cerr << "quillmere: cannot write the transcript to " << *options.transcript << "\n";
      return nullptr;
    }
    out->transcript = &out->file;
  }
  if (options.air) {
    try {
      out->air = std::make_unique<AirRecording>(*options.air);
    } catch (const std::exception& e) {
      std::cerr << "quillmere: " << e.what() << "\n";
      return nullptr;
    }
    out->air->onError = reportProblem;
  }
  return out;
}

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  return false;
}

}  // namespace qm
