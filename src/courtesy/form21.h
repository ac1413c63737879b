#pragma once
// The courtesy window: courtesy letters with hang time and anti-kerchunk, the status displays, the CW identifier,
// and their settings in the machine-wide quillmere_courtsey.ini. Everything here runs on the window's own EchoLink
// instance, whether the window is shown or hidden.
//
// Files: form21.cpp (load, settings, buttons, edit rules), form21_layout.cpp (design geometry),
// courtesy_tones.cpp (letters, anti-kerchunk, displays), cw_identifier.cpp (the identifier).
#include <cstdint>
#include <exception>
#include <memory>
#include <set>
#include <string>

#include "platform/control.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;

class Form21 : public Window {
 public:
  explicit Form21(Program& program);
  ~Form21() override;
  void Form_Load();
  void closeRequest() override;  // closing this window ends the program

  void SaveData();

  // Courtesy letters and anti-kerchunk (courtesy_tones.cpp).
  void EchoLink_CarrierDetect(bool bCD);
  void EchoLink_RX(bool bRX);
  void Kerchunker_Timer();
  void KickBackCheck_Timer();
  void Timer3_Timer();
  void Timer4_Timer();
  // What the display polls read and set, for a scheduler that lets them rest while nothing changes.
  void Timer3_Reading(std::string& out);
  void Timer4_Reading(std::string& out);

  // The CW identifier (cw_identifier.cpp).
  void Beacon7_Timer();
  void SendCW_Click();

  // Status texts, shared with the main window's boxes of the same names.
  static constexpr const char* kReceivingRF = "Receiving  RF";
  static constexpr const char* kRxStandby = "RX  Standby";
  static constexpr const char* kPttOn = "PTT ON";
  static constexpr const char* kPttOff = "PTT OFF";
  static constexpr const char* kIpTxOn = "IP  TX  ON";
  static constexpr const char* kIpTxOff = "IP  TX  OFF";
  static constexpr const char* kClearToSend = "Clear to Send";
  static constexpr const char* kKerchunkerSet = "Kerchunker Set";

  // Identification owed ("1") or not ("0"); identifications sent in long mode since the last long one.
  inline static const std::string kOwed = "1", kNotOwed = "0";
  std::string PendingID = kNotOwed;
  std::int64_t IdentCount = 0;

  // Controls, grouped by frame; frames come before what they hold.
  Frame Frame3{*this, "Frame3", "RF Timings "};
  CheckBox Check1{*this, "Check1", "Use Courtesy Tones", 1};
  Label Label1{*this, "Label1", "CW ID"};
  Label Label2{*this, "Label2", "RF CW ID"};
  TextBox CourtesyID{*this, "CourtesyID", "K"};
  CommandButton Command10{*this, "Command10", "Test"};
  Label Label3{*this, "Label3", "Internet CW ID"};
  TextBox IPCourtesy{*this, "IPCourtesy", "I"};
  CommandButton Command11{*this, "Command11", "Test"};
  Label Label4{*this, "Label4", "HangTime Before ID "};
  TextBox HangTime{*this, "HangTime", "500"};
  Label Label5{*this, "Label5", "ms"};
  Label Label6{*this, "Label6", "Anti-Kerchunker"};
  TextBox KerchunkWait{*this, "KerchunkWait", "3000"};
  Label Label7{*this, "Label7", "ms"};

  Frame Frame2{*this, "Frame2", ""};
  TextBox Kerchunk{*this, "Kerchunk", kKerchunkerSet};
  TextBox RFUser{*this, "RFUser", kRxStandby};
  TextBox PTT{*this, "PTT", kPttOff};
  TextBox PTT1{*this, "PTT1", kIpTxOff};

  Frame Frame1{*this, "Frame1", "CW ID Callsign"};
  CheckBox StopClock7{*this, "StopClock7", "Use CW Ident", 0};
  Label BeaconSeconds7{*this, "BeaconSeconds7", "5"};
  Label Label8{*this, "Label8", "ID Every               Minutes"};
  TextBox BeaconPeriod7{*this, "BeaconPeriod7", "15"};
  CheckBox UseLongCheck{*this, "UseLongCheck", "Use Long id", 0};
  Label Label9{*this, "Label9", "Send Long ID every              Idents"};
  TextBox LongID{*this, "LongID", "5"};
  TextBox CWCallsign{*this, "CWCallsign", "Your Call"};
  Label Label10{*this, "Label10", " CW Callsign Long ID"};
  TextBox CWCallsignLong{*this, "CWCallsignLong", "Your Call & QRA"};
  CommandButton SendCW{*this, "SendCW", "Send ID"};

  CommandButton Command2{*this, "Command2", "Save"};
  CommandButton Command1{*this, "Command1", "Hide"};
  Label OK2Kerchunk{*this, "OK2Kerchunk", "No"};

  // Timers, in the order they start: at one instant the displays refresh before the identifier looks at them.
  Timer Kerchunker;
  Timer KickBackCheck;
  Timer Timer3;
  Timer Timer4;
  Timer Beacon7;

 private:
  void layOut();
  void loadSettings();
  void HangTime_Change();
  void KerchunkWait_Change();
  void Command10_Click();
  void Command11_Click();
  void playCW(const char* procedure, const std::string& text);
  bool channelBusy();
  void sendIdent();
  std::int64_t periodSeconds();

  // Runs one call on EchoLink; a failure is reported once (until the same procedure next succeeds) and the call is
  // skipped. Returns whether it succeeded.
  template <typename F>
  bool call(const char* procedure, F&& body) {
    try {
      body();
      if (!failing_.empty()) failing_.erase(procedure);
      return true;
    } catch (const std::exception& e) {
      reportFailure(procedure, e);
      return false;
    }
  }
  void reportFailure(const char* procedure, const std::exception& e);

  Program& program_;
  std::unique_ptr<EchoLinkApp> EchoLink;
  std::set<std::string> failing_;  // procedures whose last EchoLink call failed (reported already)
  std::int64_t lastGoodPeriod_ = 15 * 60;
  std::string reportedPeriod_;  // the last bad period text reported, so it is reported once
};

}  // namespace qm
