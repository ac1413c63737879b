#pragma once
// The running program: every window, reached by one another through it, so that a window names another by a
// function of this one and needs no global. Showing or touching a window that is not loaded loads it.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/backends.h"
#include "platform/window.h"

namespace qm {

class frmMain;
class Buddy;
class Form1;
class Form21;
class FormHistory;
class EchoLinkApp;
class HistoryLog;
class AccessControl;
class IncomingCalls;
class TransmitTime;

class Program {
 public:
  explicit Program(Backends& backends);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // frmMain's load; the main window is shown when it returns (also when the load stopped early).
  void start();

  Backends& backends() { return backends_; }
  Registry& registry() { return registry_; }

  frmMain& main() { return *main_; }
  Buddy& buddy();
  Form1& form1();
  Form21& form21();
  FormHistory& history();
  // The history log file: every history line and phone call, kept across runs (src/history/history_log.h).
  HistoryLog& historyLog() { return *historyLog_; }
  // The transmitter's keyed time, each keying logged as it ends (src/control/transmit_time.h).
  TransmitTime& transmitTime() { return *transmitTime_; }
  AccessControl& access() { return *access_; }
  IncomingCalls& incoming() { return *incoming_; }
  bool buddyLoaded() const { return buddy_ != nullptr; }
  bool historyLoaded() const { return history_ != nullptr; }
  // Closing with the close box discards these two windows; the next touch loads them afresh.
  void unloadBuddy();
  void unloadHistory();
  // Keeps the EchoLink instance of a window that its close box discarded, for the rest of the run: the instance
  // outlives its window, and its handlers may load the window again. One is kept per window; later ones are dropped.
  void keepSubscription(const std::string& window, std::unique_ptr<EchoLinkApp> app);

  // A window that a backend brings along (the SIP settings): loaded by `make` on first touch, like the program's own
  // windows, and owned by the program from then on.
  void addWindow(const std::string& name, std::function<std::unique_ptr<Window>(Program&)> make);

  // The internal-error report: a warning box "Internal Error: " + procedure, CR LF, description.
  void internalError(const std::string& procedure, const std::string& description);
  // Runs `body` under an error trap named `procedure`; returns false when it failed (after the report).
  bool trap(const std::string& procedure, const std::function<void()>& body);
  // Ends the program at once: nothing is unloaded or saved.
  [[noreturn]] void end();

  // The node's callsign, read from a fresh LocalStation each time, so a callsign the node changes is seen at once.
  static std::string localCallsign(EchoLinkApp& app);
  // Product, four spaces, callsign, three spaces, "v" and the version: the start of several captions.
  static std::string titleFor(const std::string& callsign);

 private:
  template <typename W>
  W& load(std::unique_ptr<W>& slot);

  Backends& backends_;
  Registry registry_;
  std::unique_ptr<frmMain> main_;
  std::unique_ptr<Buddy> buddy_;
  std::unique_ptr<Form1> form1_;
  std::unique_ptr<Form21> form21_;
  std::unique_ptr<FormHistory> history_;
  std::unique_ptr<HistoryLog> historyLog_;
  std::unique_ptr<TransmitTime> transmitTime_;
  std::unique_ptr<AccessControl> access_;
  std::unique_ptr<IncomingCalls> incoming_;
  std::map<std::string, std::unique_ptr<EchoLinkApp>> keptSubscriptions_;
  std::map<std::string, std::unique_ptr<Window>> addedWindows_;
};

}  // namespace qm
