#include "launch/session_builder.h"

#include <string_view>

#include "app/backend_table.h"
#include "launch/launch.h"
#include "launch/radio_module.h"
#include "options.h"
#include "realtime/real_exit.h"

namespace qm {
namespace {

// The radio's module is loaded here, when a session first asks for the radio node; without it the program ends.
Session::NodeFactory radioNodeFactory() {
  return requireRadioModule().nodeFactory();
}

std::unique_ptr<ProgramExit> makeRealExit(Session& session) {
  if (RadioModule* radio = radioModuleOf(session)) return radio->makeRealExit(session);
  return std::make_unique<RealExit>(session.transcript);
}

// The real backends' factories, by their rows' names; the simulated ones are every session's own.
struct BackendFactory {
  BackendRole role;
  std::string_view name;
  Session::NodeFactory (*node)();
  void (*install)(Session&);
};

const BackendFactory kFactories[] = {
    {BackendRole::Node, "radio", radioNodeFactory, nullptr},
    {BackendRole::Telephone, "sip", nullptr, installSip},
};

const BackendFactory* factoryOf(BackendRole role, const std::string& name) {
  for (const BackendFactory& f : kFactories)
    if (f.role == role && f.name == name) return &f;
  return nullptr;
}

}  // namespace

Session::NodeFactory nodeFactory(const std::string& node) {
  const BackendFactory* f = factoryOf(BackendRole::Node, node);
  return f ? f->node() : Session::NodeFactory{};
}

void installTelephone(const std::string& telephone, Session& session) {
  if (const BackendFactory* f = factoryOf(BackendRole::Telephone, telephone)) f->install(session);
}

std::unique_ptr<Session> buildSession(const Options& o, Scheduler& scheduler, const Folders& folders,
                                      std::ostream& transcript, std::unique_ptr<InstanceLock> lock, Prompter* boxes) {
  auto session = std::make_unique<Session>(
      scheduler, folders, &transcript, [](Session& s) { return makeRealExit(s); }, std::move(lock), boxes,
      nodeFactory(o.node));
  session->transcript.setKeeping(false);
  if (o.callsignGiven) session->node.setCallsign(o.callsign);
  return session;
}

}  // namespace qm
