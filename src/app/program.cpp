#include "app/program.h"

#include <cstdlib>
#include <exception>

#include "access/access_control.h"
#include "app/frm_main.h"
#include "app/version.h"
#include "control/transmit_time.h"
#include "courtesy/form21.h"
#include "directory/buddy.h"
#include "echolink/echolink_app.h"
#include "history/form_history.h"
#include "history/history_log.h"
#include "platform/program_exit.h"
#include "platform/prompter.h"
#include "skype/incoming_calls.h"
#include "speech/form1.h"

namespace qm {

Program::Program(Backends& backends) : backends_(backends) {
  historyLog_ = std::make_unique<HistoryLog>(backends);
  transmitTime_ = std::make_unique<TransmitTime>(backends, *historyLog_);
  main_ = std::make_unique<frmMain>(*this);
  access_ = std::make_unique<AccessControl>(*this);
  incoming_ = std::make_unique<IncomingCalls>(*this);
  registry_.setLoader("frmMain", [this]() -> Window* { return main_.get(); });
  registry_.setLoader("Buddy", [this]() -> Window* { return &buddy(); });
  registry_.setLoader("Form1", [this]() -> Window* { return &form1(); });
  registry_.setLoader("Form21", [this]() -> Window* { return &form21(); });
  registry_.setLoader("FormHistory", [this]() -> Window* { return &history(); });
}

Program::~Program() = default;

void Program::start() {
  access_->load();
  main_->Form_Load();
  historyLog_->open();  // a history that cannot be kept is told at start, not at the first event
  access_->started();
  for (const std::string& problem : incoming_->codeProblems())
    backends_.prompter.show(problem, "", BoxIcon::Warning, BoxButtons::Ok);
  registry_.loaded(*main_);
  main_->Show();
}

template <typename W>
W& Program::load(std::unique_ptr<W>& slot) {
  if (!slot) {
    slot = std::make_unique<W>(*this);
    slot->Form_Load();
    registry_.loaded(*slot);
  }
  return *slot;
}

Buddy& Program::buddy() {
  return load(buddy_);
}
Form1& Program::form1() {
  return load(form1_);
}
Form21& Program::form21() {
  return load(form21_);
}
FormHistory& Program::history() {
  return load(history_);
}

void Program::unloadBuddy() {
  buddy_.reset();
}
void Program::unloadHistory() {
  history_.reset();
}

void Program::keepSubscription(const std::string& window, std::unique_ptr<EchoLinkApp> app) {
  keptSubscriptions_.try_emplace(window, std::move(app));
}

void Program::addWindow(const std::string& name, std::function<std::unique_ptr<Window>(Program&)> make) {
  registry_.setLoader(name, [this, name, make = std::move(make)]() -> Window* {
    auto& slot = addedWindows_[name];
    if (!slot) {
      slot = make(*this);
      registry_.loaded(*slot);
    }
    return slot.get();
  });
}

void Program::internalError(const std::string& procedure, const std::string& description) {
  backends_.prompter.show("Internal Error: " + procedure + "\r\n" + description, "", BoxIcon::Warning, BoxButtons::Ok);
}

bool Program::trap(const std::string& procedure, const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    internalError(procedure, e.what());
    return false;
  }
}

void Program::end() {
  backends_.exit.endNow();
  std::abort();  // an exit backend always ends or unwinds
}

std::string Program::localCallsign(EchoLinkApp& app) {
  return app.LocalStation()->Callsign();
}

std::string Program::titleFor(const std::string& callsign) {
  return std::string(kProductName) + "    " + callsign + "   v" + versionText();
}

}  // namespace qm
