#pragma once
// The SIP client as a backend of a session, in place of the simulated Skype client: when the program is created it
// adds the SipSettings window, whose Save applies the new settings at once; once the program's start has passed its
// checks it reads quillmere_sip.ini (a value it cannot use is named in a warning box) and launches the Skype API
// window and baresip (its files in the program folder's "baresip" folder). The scenario action `sip kill` kills
// baresip as a crash would, to try the recovery.
#include <functional>
#include <memory>
#include <string>

#include "session/session.h"
#include "sip/agent_io.h"
#include "sip/baresip_agent.h"
#include "sip/sip_skype.h"

namespace qm {

class SipClient : public SessionExtension {
 public:
  SipClient(Session& session, std::unique_ptr<AgentIo> io, std::function<void(const std::string&)> remark);
  ~SipClient() override;

  void programCreated(Program& program) override;
  void programStarted() override;
  void programEnded() override;

  SipSkype& skype() { return skype_; }
  BaresipAgent& agent() { return agent_; }
  // Reads the settings file again and applies it (after a save).
  void reload();
  // The call's audio through JACK as client `client` whatever AudioDriver says (the radio node links its ports);
  // `rate` tells the JACK server's rate when baresip's files are written.
  void useJack(std::string client, std::function<int()> rate);

 private:
  bool action(const std::vector<std::string>& words);
  SipSettings read();

  std::string jackClient_;
  std::function<int()> jackRate_;
  Session& session_;
  std::unique_ptr<AgentIo> io_;
  std::function<void(const std::string&)> remark_;
  BaresipAgent agent_;
  SipSkype skype_;
};

// Plugs a SIP client into the session (before it starts); the session owns it.
SipClient& installSipClient(Session& session, std::unique_ptr<AgentIo> io,
                            std::function<void(const std::string&)> remark);

}  // namespace qm
