#pragma once
// The history window: a time-stamped log of connects, RF activity and DTMF strings, four check boxes choosing what
// is logged, kept in the machine-wide quillmere_history.ini.
#include <cstddef>
#include <memory>
#include <string>

#include "platform/control.h"
#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;

class FormHistory : public Window {
 public:
  explicit FormHistory(Program& program);
  ~FormHistory() override;
  void Form_Load();
  // Discards the window and its log. Its EchoLink subscription stays behind: the next connect, disconnect, carrier
  // or DTMF event loads the window afresh (hidden, boxes as saved, empty log), which then logs that event.
  void closeRequest() override;

  // The window's EchoLink events.
  void EchoLink_connected(const std::string& sCallConnected, const std::string& sName, const std::string& sAddr);
  void EchoLink_Disconnected(const std::string& sCall);
  void EchoLink_CarrierDetect(bool bCD);
  void EchoLink_DTMFString(const std::string& sDigits);

  // An access-control event (a refused call, a switch-on code): always logged, as "WHAT -- DATE at TIME".
  void logEvent(const std::string& what);

  void SaveData();  // the four boxes into the history file; run by "Save  Changes"

  // The log keeps at most this many bytes: beyond it the oldest lines go, whole, a batch at a time, so that an append
  // stays constant time and a node that runs for months does not fill its memory with the log.
  static constexpr std::size_t kLogCapacity = 4 * 1024 * 1024;

  Frame Frame13{*this, "Frame13", "Connect and RF History"};
  TextBox CallHistory{*this, "CallHistory"};
  CheckBox Check8{*this, "Check8", "Station Connects"};
  CheckBox Check10{*this, "Check10", "RF Start"};
  CheckBox Check11{*this, "Check11", "RF End"};
  CheckBox DTMF{*this, "DTMF", "DTMF Used"};
  CommandButton Command5{*this, "Command5", "Clear"};
  CommandButton Command7{*this, "Command7", "Hide"};
  CommandButton Command19{*this, "Command19", "Save  Changes"};

 private:
  void layOut();
  void loadSettings();
  // Date and time of now, taken one after the other: "DATE at TIME".
  std::string stamp() const;
  void appendLine(const std::string& line);

  Program& program_;
  std::unique_ptr<EchoLinkApp> EchoLink;
};

}  // namespace qm
