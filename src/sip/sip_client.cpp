#include "sip/sip_client.h"

#include "app/program.h"
#include "history/history_log.h"
#include "platform/prompter.h"
#include "scenario/script.h"
#include "sip/sip_settings_window.h"

namespace qm {

SipClient::SipClient(Session& session, std::unique_ptr<AgentIo> io, std::function<void(const std::string&)> remark)
    : session_(session),
      io_(std::move(io)),
      remark_(std::move(remark)),
      agent_(*io_, session.backends.scheduler, session.backends.folders.inProgramFolder("baresip")),
      skype_(session.windowSystem, session.backends.scheduler, session.transcript, session.prompter, agent_) {
  skype_.remark = [this](const std::string& text) {
    if (remark_) remark_(text);
  };
  // The account's state goes to the history log and to the operator's log (where the desktop shows problems).
  skype_.onRegistration = [this](const std::string& text) {
    if (session_.started()) session_.program().historyLog().append(text);
    if (remark_) remark_(text);
  };
  session_.simulatedSkype = false;
  session_.backends.dialPlan = &skype_.dialPlan();
  session_.extraActions.push_back([this](const std::vector<std::string>& w) { return action(w); });
}

SipClient::~SipClient() {
  if (session_.backends.dialPlan == &skype_.dialPlan()) session_.backends.dialPlan = nullptr;
}

SipSettings SipClient::read() {
  std::vector<std::string> problems;
  SipSettings settings = readSipSettings(session_.backends.folders.inProgramFolder(kSipSettingsFile), problems);
  if (!problems.empty()) {
    std::string text = "The SIP settings have values that cannot be used:";
    for (const std::string& p : problems) text += "\r\n" + p;
    session_.backends.scheduler.post(
        [this, text] { session_.backends.prompter.show(text, "", BoxIcon::Warning, BoxButtons::Ok); });
  }
  if (!jackClient_.empty()) {
    settings.jackClient = jackClient_;
    if (int rate = jackRate_ ? jackRate_() : 0; rate > 0) settings.jackRate = rate;
  }
  return settings;
}

void SipClient::useJack(std::string client, std::function<int()> rate) {
  jackClient_ = std::move(client);
  jackRate_ = std::move(rate);
}

void SipClient::programCreated(Program& program) {
  skype_.open();
  program.addWindow("SipSettings", [this](Program& p) -> std::unique_ptr<Window> {
    auto window = std::make_unique<SipSettingsWindow>(p);
    window->Form_Load();
    window->onSaved = [this] { reload(); };
    return window;
  });
}

void SipClient::programStarted() {
  // Only a start that passed its checks: a refused one (a second copy) never runs a second baresip over the first's
  // files and port, nor shows a SIP box over its own. The program attaches a second after its load.
  SipSettings settings = read();
  agent_.setSettings(settings);
  skype_.setDialPlan(settings.dialPlan());
  skype_.launch();
}

void SipClient::reload() {
  skype_.applySettings(read());
}

void SipClient::programEnded() {
  skype_.setDeaf(true);
  agent_.stop();
}

bool SipClient::action(const std::vector<std::string>& w) {
  if (w[0] != "sip") return false;
  if (w.size() == 2 && w[1] == "kill") {
    if (!io_->processRunning()) throw ScriptError("baresip is not running");
    agent_.kill();
    return true;
  }
  throw ScriptError("unknown sip action (kill)");
}

SipClient& installSipClient(Session& session, std::unique_ptr<AgentIo> io,
                            std::function<void(const std::string&)> remark) {
  auto client = std::make_unique<SipClient>(session, std::move(io), std::move(remark));
  SipClient& ref = *client;
  session.addExtension(std::move(client));
  return ref;
}

}  // namespace qm
