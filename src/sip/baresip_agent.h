#pragma once
// The SIP user agent, baresip, run and watched as a child process: its config and accounts are written from the SIP
// settings into a folder of Quillmere's own, it is started, its control channel (see baresip_protocol.h) is opened
// on 127.0.0.1, and from then on commands go to it and its events and responses come back. When it cannot be
// started, does not open its control port in time, closes the connection, or dies, it is down: the listener is told
// and a new start is tried after a back-off that doubles from one second up to a minute (and starts at one second
// again once a run had lasted half a minute).
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/scheduler.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "sip/agent_io.h"
#include "sip/baresip_protocol.h"
#include "sip/netstring.h"
#include "sip/sip_settings.h"

namespace qm {

class BaresipAgent {
 public:
  static constexpr std::chrono::milliseconds kStartLimit{10000};  // to open the control port
  static constexpr std::chrono::milliseconds kConnectRetry{200};  // between connect attempts while it starts
  static constexpr std::chrono::milliseconds kFirstBackOff{1000};
  static constexpr std::chrono::milliseconds kLongestBackOff{60000};
  static constexpr std::chrono::milliseconds kSteadyRun{30000};  // a run this long resets the back-off

  enum class State { Stopped, Starting, Connecting, Ready, Failing, Down, Stopping };

  struct Listener {
    std::function<void()> ready;
    // It could not be started, or it stopped working; `wasReady` when it had been ready.
    std::function<void(const std::string& why, bool wasReady)> down;
    std::function<void(const BaresipMessage& message)> message;
    std::function<void(const std::string& text)> remark;  // for the operator's log
  };

  BaresipAgent(AgentIo& io, Scheduler& scheduler, std::filesystem::path folder);
  ~BaresipAgent();
  BaresipAgent(const BaresipAgent&) = delete;
  BaresipAgent& operator=(const BaresipAgent&) = delete;

  Listener listener;

  void setSettings(const SipSettings& settings) { settings_ = settings; }
  const SipSettings& settings() const { return settings_; }
  const std::filesystem::path& folder() const { return folder_; }
  // The SIP status (403 or 486) the next refusal of a ringing call is to give; baresip's own hang-up gives 486, and
  // the library loaded into it (src/sip_guard/refusal_status.cpp) reads this. False when it cannot be written.
  bool setRefusal(int status);

  void start();
  // Starts afresh with the current settings: at once when down, after the running agent has stopped otherwise.
  void restart();
  // Stops for good (the program ends): no restart follows.
  void stop();
  // Kills the process as a crash would (a fault for tests and for trying the recovery by hand).
  void kill();

  // Sends a command when ready; false (nothing sent) otherwise.
  bool send(const std::string& command, const std::string& params, const std::string& token);

  State state() const { return state_; }
  bool ready() const { return state_ == State::Ready; }
  // Starting, or about to start again: an attach can be answered as pending.
  bool starting() const { return state_ == State::Starting || state_ == State::Connecting || restartPending_; }
  int controlPort() const { return port_; }
  // The wait before the next start after a failure now.
  std::chrono::milliseconds backOff() const;
  int failures() const { return failures_; }

 private:
  class TimerHost : public Window {
   public:
    explicit TimerHost(Registry& r) : Window(r, "BaresipAgent", "baresip") {}
    void closeRequest() override {}
  };

  void started();
  void ended(const std::string& why);
  void output(const std::string& line);
  void connected();
  void disconnected(const std::string& why);
  void received(const std::string& bytes);
  void fail(const std::string& why);
  void goDown(const std::string& why);
  bool writeFiles(std::string& problem);
  std::string withLastWarning(const std::string& why) const;

  AgentIo& io_;
  Scheduler& scheduler_;
  std::filesystem::path folder_;
  SipSettings settings_;
  State state_ = State::Stopped;
  bool restartPending_ = false;
  bool wasReady_ = false;
  std::string failure_;  // why the agent is being stopped after a failure
  int port_ = 0;
  int failures_ = 0;
  Scheduler::TimePoint readySince_{};
  NetstringReader reader_;
  std::deque<std::string> frames_;  // received, not yet handed on
  bool handingOn_ = false;          // a listener running a loop of its own (a box) must not reorder them
  std::string lastWarning_;         // the latest warning baresip printed, for the reason of a failure

  Registry registry_;
  TimerHost host_{registry_};
  Timer startLimit_;
  Timer connectRetry_;
  Timer restartTimer_;
};

}  // namespace qm
