#pragma once
// The main window: its controls (which hold most of the program's state and settings), the load sequence, the
// clock, the resize rule, the simple buttons and the ways the program ends. The logic of the Skype link, the DTMF
// interpreter, the transmit time-out and the text services is defined in their own folders (see the wire functions).
#include <memory>
#include <string>

#include "echolink/echolink_app.h"

#include "platform/control.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;
class modMain;

class frmMain : public Window {
 public:
  explicit frmMain(Program& program);
  ~frmMain() override;

  void Form_Load();
  void Form_Resize() override;
  void closeRequest() override;  // any close request ends the program at once

  void SaveData();      // the main settings file
  void SaveUserData();  // the usage report, posted once during the load
  void SplitCall();     // TempCall: one blank after every character

  // The Skype link and call control (src/skype/).
  void AddText(const std::string& Data);  // one line into the data panel, then call tracking
  void Dial_Phone();                      // sends the text of txtSend to Skype
  void HangUp();                          // ends the call that is up, if any; never places one
  std::string callUp;                     // the id of the call placed and not yet over, empty when none
  modMain& skypeLink() { return *modMain_; }

  // The DTMF interpreter (src/control/dtmf_interpreter.cpp).
  void EchoLink_DTMFString(const std::string& sDigits);
  // Whether `digits` is one of the interpreter's codes as they stand now (the switch codes, "*#" requests, "A", "DD",
  // the directory codes), for a node that must not take the program's strings as its own.
  bool isDtmfCode(const std::string& digits);
  // Whether `digits` is one of the interpreter's fixed commands, which no setting changes: a "*#" request, "A", "DD".
  static bool isFixedDtmfCommand(const std::string& digits);
  void Check1_Click();
  void Timer3_Timer();
  bool RequestPending = false;
  bool pendingTrusted = false;  // the pending request is of a buddy entry marked trusted
  void refuseRequest();         // access control refused a request

  // The transmit time-out (src/control/transmit_timeout.cpp).
  void Timer2_Timer();
  void Timer5_Timer();
  void Timer7_Timer();
  void Mins_Change();
  void TimeOutTimeSeconds_Change();

  // The chat answer and the station text (src/report/).
  void EchoLink_ChatTextReceived(const std::string& sText);
  void Echolink_StationTextReceived(const std::string& sText);

  Program& program() { return program_; }
  EchoLinkApp* echoLink() { return EchoLink.get(); }

  // State besides the controls.
  std::string TempCall;
  int MinHeight = 0, MinWidth = 0, DataRightMargin = 0, DataBottomMargin = 0;
  // Handlers of the main window's EchoLink instance, set up by the subsystems at construction and handed to the
  // instance once the load has created it.
  EchoLinkEvents mainEvents;

  // Controls, grouped by frame.
  Frame Frame13{*this, "Frame13", "Date"};
  Label Label18{*this, "Label18", "99/99/9999"};
  Frame Frame12{*this, "Frame12", "Time"};
  Label Label17{*this, "Label17", "00:00:00"};
  Frame Frame14{*this, "Frame14", "Last Connected"};
  Label Label11{*this, "Label11"};
  Frame Frame8{*this, "Frame8"};
  TextBox PTT1{*this, "PTT1", "IP  TX  OFF"};
  TextBox RFUser{*this, "RFUser", "RX  Standby"};
  TextBox PTT{*this, "PTT", "PTT OFF"};
  Frame Frame10{*this, "Frame10", "Echolink Conference    Station Talking"};
  Frame Frame11{*this, "Frame11", "Last Station Connected"};
  Label Label10{*this, "Label10"};
  TextBox Text1{*this, "Text1"};
  Frame Frame4{*this, "Frame4", "TX Time Out"};
  Label Counter{*this, "Counter", "180"};
  Label Label7{*this, "Label7", "Minutes"};
  TextBox Mins{*this, "Mins"};
  Frame Frame1{*this, "Frame1", "Confirmation Timeout"};
  TextBox TimeOutTimeSeconds{*this, "TimeOutTimeSeconds", "10"};
  Label Label9{*this, "Label9", "Seconds"};
  Label TimeOutTime{*this, "TimeOutTime", "Label4"};
  Frame Frame6{*this, "Frame6", "Voice Confirmation"};
  CheckBox Check2{*this, "Check2", "Enable Voice"};
  Frame Frame5{*this, "Frame5", "DTMF used to control  Quillmere"};
  Label Label15{*this, "Label15", "Enable DTMF"};
  TextBox Enable_DTMF{*this, "Enable_DTMF"};
  Label Label16{*this, "Label16", "Disable DTMF"};
  TextBox Disable_DTMF{*this, "Disable_DTMF"};
  CheckBox Check1{*this, "Check1", "Use DTMF Ctrl"};
  Frame Frame9{*this, "Frame9", "TTS Announce"};
  CheckBox ConDisc{*this, "ConDisc", "Announce Station Connects / Disconnects"};
  Frame fraData{*this, "fraData", "Skype Control API Data   ( Information Only )"};
  TextBox txtData{*this, "txtData"};
  CommandButton Command16{*this, "Command16", "Clear"};
  Frame Frame16{*this, "Frame16", "Text to Speech Voice Speed"};
  ScrollBar VoiceSpeed{*this, "VoiceSpeed", -5, 5, 0};
  Label Label13{*this, "Label13", "Slow                                       Fast"};
  Label Label14{*this, "Label14", "|    |    |    |    |    |    |    |    |    |    |"};
  Label Label12{*this, "Label12", "0"};
  Label Label3{*this, "Label3", "Send  DTMF  *#  and the number you want"};
  Label Label1{*this, "Label1", "Example DTMF *#0015551234567 to call phone"};
  Label Label6{*this, "Label6", "Send  DTMF  \"DD\" to end a call"};
  // Shown in place of the three help lines above while a call from the telephone rings or waits for its PIN.
  Frame fraIncoming{*this, "fraIncoming", "Incoming Call"};
  Label lblIncoming{*this, "lblIncoming"};
  CommandButton cmdAnswer{*this, "cmdAnswer", "&Answer"};
  CommandButton cmdReject{*this, "cmdReject", "&Reject"};
  Frame Frame3{*this, "Frame3", "Last Number Called"};
  TextBox Text111{*this, "Text111"};
  CommandButton Command17{*this, "Command17", "Disconnect Call in Progress"};
  CommandButton Command2{*this, "Command2", "Language"};
  CommandButton Command19{*this, "Command19", "Buddy Setup"};
  CommandButton Command6{*this, "Command6", "Courtsey Tones"};
  CommandButton Command8{*this, "Command8", "Call History"};
  CommandButton Command5{*this, "Command5", "About"};
  CommandButton Command7{*this, "Command7", "Save Data"};
  CommandButton cmdExit{*this, "cmdExit", "Exit"};
  // Below the design client area: reached with the keyboard only.
  Frame Frame2{*this, "Frame2", "Call"};
  TextBox txtSend{*this, "txtSend"};
  CommandButton cmdSend{*this, "cmdSend", "&Call again"};
  Frame fraCommunicate{*this, "fraCommunicate", "Communicate Test panel"};
  CommandButton cmdConnect{*this, "cmdConnect", "&Connect"};
  CommandButton cmdDisconnect{*this, "cmdDisconnect", "&Disconnect"};
  Label Label2{*this, "Label2", "CALL 001234567890 is the format used"};
  Frame Frame7{*this, "Frame7", "Mute Mic audio to skype"};
  CommandButton Command3{*this, "Command3", "Mute On"};
  CommandButton Command4{*this, "Command4", "Mute off"};
  CommandButton Command1{*this, "Command1", "Voice Test"};
  TextBox Callsign{*this, "Callsign"};
  TextBox Prog{*this, "Prog"};
  TextBox Ver{*this, "Ver"};
  TextBox ID{*this, "ID", "ID"};
  TextBox TempCallHold{*this, "TempCallHold"};
  // Timers.
  Timer DateTime;
  Timer Timer1;
  Timer Timer2;
  Timer Timer4;
  Timer Timer3;
  Timer Timer5;
  Timer Timer7;

  std::unique_ptr<EchoLinkApp> EchoLink;

 private:
  std::unique_ptr<modMain> modMain_;  // created by wireSkype; destroyed before the controls it works on
  void layOut();
  int confirmationInterval() const;
  double timeoutSeconds() const;
  // Each subsystem wires its handlers to the window's controls, timers and events; defined in its own folder.
  void wireSkype();         // src/skype/
  void wireSpeech();        // src/speech/: the voice-speed label and the Voice Test button
  void wireDtmf();          // src/control/dtmf_interpreter.cpp
  void wireTimeout();       // src/control/transmit_timeout.cpp
  void wireTextServices();  // src/report/: usage report, chat answer, station text
  void loadSettings();
  void startTimers();  // the timers that run from the start, in their design order
  void DateTime_Timer();
  void showAbout();

  Program& program_;
};

}  // namespace qm
