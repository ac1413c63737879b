#include "sip_process/sip_check.h"

#include <stdlib.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include "realtime/qt_scheduler.h"
#include "sip/baresip_agent.h"
#include "sip/sip_registration.h"
#include "sip/sip_settings.h"
#include "sip_process/qt_agent_io.h"

namespace qm {
namespace {

// The registration's verdict comes within its no-answer limit; a little more for baresip to start.
constexpr int kCheckLimitMs = static_cast<int>(SipRegistration::kNoAnswerLimit.count()) + 3000;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-sip-check-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

bool runSipCheck(const Folders& folders, std::ostream& out) {
  const auto file = folders.inProgramFolder(kSipSettingsFile);
  if (!std::filesystem::exists(file)) return true;
  std::vector<std::string> problems;  // already named by the settings check
  SipSettings settings = readSipSettings(file, problems);
  out << "SIP account:\n";
  if (!settings.registers()) {
    out << "  "
        << (settings.account.empty() ? "no account: calls go straight to the SIP addresses dialled"
                                     : settings.account + " does not register (Register=0)")
        << "\n";
    return true;
  }
  TempFolder folder;
  if (folder.path().empty()) {
    out << "  cannot try the registration: no temporary folder\n";
    return false;
  }
  // Beside a running node: a port of its own for SIP, no sound, a free control port.
  std::string host = settings.listenAddress.empty() ? "0.0.0.0" : settings.listenAddress;
  host = host.substr(0, host.rfind(':'));
  settings.listenAddress = host + ":0";
  settings.controlPort = 0;
  settings.audioDriver = "aubridge";
  settings.inputDevice = settings.outputDevice = "quillmere-check";
  settings.jackClient.clear();

  std::unique_ptr<QCoreApplication> app;
  int argc = 1;
  char name[] = "quillmere";
  char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  QtScheduler scheduler;
  QtAgentIo io;
  BaresipAgent agent(io, scheduler, folder.path());
  agent.setSettings(settings);
  SipRegistration registration(scheduler, agent);
  registration.configure(settings);

  QEventLoop loop;
  std::string verdict, agentProblem;
  registration.onChange = [&](SipRegistration::State state, const std::string& text) {
    if (state == SipRegistration::State::Registering) return;
    verdict = text.substr(0, text.find("; trying again"));  // the check itself tries once
    loop.quit();
  };
  agent.listener.ready = [&] { registration.agentReady(); };
  agent.listener.down = [&](const std::string& why, bool) {
    agentProblem = why;
    loop.quit();
  };
  agent.listener.message = [&](const BaresipMessage& m) {
    if (const auto* e = std::get_if<BaresipEvent>(&m))
      registration.event(*e);
    else
      registration.response(std::get<BaresipResponse>(m));
  };
  QTimer::singleShot(kCheckLimitMs, &loop, [&] { loop.quit(); });
  agent.start();
  loop.exec();
  bool ok = registration.state() == SipRegistration::State::Registered;
  // Registered: baresip takes its registration back as it ends. Otherwise there is nothing to take back, and a
  // baresip still waiting on a silent registrar would hold the check for seconds.
  if (ok)
    agent.stop();
  else
    agent.kill();
  if (!verdict.empty())
    out << "  " << verdict << "\n";
  else if (!agentProblem.empty())
    out << "  cannot try the registration: baresip does not run: " << agentProblem << "\n";
  else
    out << "  " << settings.account << ": no verdict within " << kCheckLimitMs / 1000 << " s\n";
  return ok;
}

}  // namespace qm
