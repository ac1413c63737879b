#pragma once
// The announcement window: the editable phrases (seventeen, three of access control, one for a number too long and
// five of call results) and their language file
// (form1.cpp), speech output over the air (speech_output.cpp) and the station connect and disconnect announcements
// (station_announcements.cpp).
#include <array>
#include <memory>
#include <string>

#include "platform/control.h"
#include "platform/window.h"

namespace qm {

class Program;
class EchoLinkApp;
class Voice;

class Form1 : public Window {
 public:
  explicit Form1(Program& program);
  ~Form1() override;
  void Form_Load();
  // The close box asks first; Yes unkeys the transmitter and ends the program, No keeps everything.
  void closeRequest() override;

  // Writes the phrases to the language file (those of access control once they differ from their default).
  void SaveData();
  // Speaks SayTheText over the air (keying the transmitter around it) when voice is enabled on the main window;
  // returns once it has been spoken. SayTheText is left holding the text as spoken (zeros as " Zero ").
  void SpeakTheText();

  // The text to speak next: assign it, then call SpeakTheText.
  std::string SayTheText;
  // Scratch space for the callsign being announced.
  std::string TempCall;

  EchoLinkApp* echoLink() { return EchoLink.get(); }

  // One row a phrase: the English reference beside the editable text.
  Label Label1{*this, "Label1"};
  TextBox Text1{*this, "Text1"};
  Label Label2{*this, "Label2"};
  TextBox Text2{*this, "Text2"};
  Label Label3{*this, "Label3"};
  TextBox Text3{*this, "Text3"};
  Label Label4{*this, "Label4"};
  TextBox Text4{*this, "Text4"};
  Label Label5{*this, "Label5"};
  TextBox Text5{*this, "Text5"};
  Label Label6{*this, "Label6"};
  TextBox Text6{*this, "Text6"};
  Label Label7{*this, "Label7"};
  TextBox Text7{*this, "Text7"};
  Label Label8{*this, "Label8"};
  TextBox Text8{*this, "Text8"};
  Label Label9{*this, "Label9"};
  TextBox Text9{*this, "Text9"};
  Label Label10{*this, "Label10"};
  TextBox Text10{*this, "Text10"};
  Label Label11{*this, "Label11"};
  TextBox Text11{*this, "Text11"};
  Label Label12{*this, "Label12"};
  TextBox Text12{*this, "Text12"};
  Label Label13{*this, "Label13"};
  TextBox Text13{*this, "Text13"};
  Label Label14{*this, "Label14"};
  TextBox Text14{*this, "Text14"};
  Label Label15{*this, "Label15"};
  TextBox Text15{*this, "Text15"};
  Label Label16{*this, "Label16"};
  TextBox Text16{*this, "Text16"};
  Label Label17{*this, "Label17"};
  TextBox Text17{*this, "Text17"};
  // Spoken by access control: a refused number, the hourly call limit, the longest call.
  Label Label18{*this, "Label18"};
  TextBox Text18{*this, "Text18"};
  Label Label19{*this, "Label19"};
  TextBox Text19{*this, "Text19"};
  Label Label20{*this, "Label20"};
  TextBox Text20{*this, "Text20"};
  // Spoken when a "*#" request holds more digits than any telephone number.
  Label Label21{*this, "Label21"};
  TextBox Text21{*this, "Text21"};
  // Spoken when a call ends unanswered: busy, no answer, declined, failed, the telephone account not registered.
  Label Label22{*this, "Label22"};
  TextBox Text22{*this, "Text22"};
  Label Label23{*this, "Label23"};
  TextBox Text23{*this, "Text23"};
  Label Label24{*this, "Label24"};
  TextBox Text24{*this, "Text24"};
  Label Label25{*this, "Label25"};
  TextBox Text25{*this, "Text25"};
  Label Label26{*this, "Label26"};
  TextBox Text26{*this, "Text26"};
  // Spoken before the longest-call limit ends a call, after the seconds left in words: "Thirty seconds left".
  Label Label27{*this, "Label27"};
  TextBox Text27{*this, "Text27"};
  // Announced with the caller when a call from the telephone rings: "Incoming call from Mary".
  Label Label28{*this, "Label28"};
  TextBox Text28{*this, "Text28"};
  CommandButton Command2{*this, "Command2", "Save Data"};
  CommandButton Command1{*this, "Command1", "Hide"};

 private:
  void layOut();
  void Echolink_connected(const std::string& sCallConnected, const std::string& sName, const std::string& sAddr);
  void Echolink_Disconnected(const std::string& sCall);
  void EchoLink_Closing();
  // The announcement of one connect or disconnect, from the ConDisc test on.
  void announceStation(std::string s, bool connecting);
  // The voice, or an error when no voice backend was given.
  Voice& voice();
  EchoLinkApp& app();

  Program& program_;
  std::array<TextBox*, 28> phrases_;
  std::array<Label*, 28> labels_;
  Voice* voice_ = nullptr;
  std::unique_ptr<EchoLinkApp> EchoLink;
};

}  // namespace qm
