// Announcements of stations connecting to and disconnecting from the node. The callsign's form says what the
// station is: a conference is enclosed in asterisks ("*IRELAND*"), a link node ends in "-L", a repeater in "-R", a
// plain station has no suffix. A known conference is said by its spoken name; any other callsign is spelled one
// character at a time. Each sentence is built from the phrases of this window as they stand at that moment.
#include <string_view>

#include "app/frm_main.h"
#include "app/program.h"
#include "platform/vb_text.h"
#include "speech/form1.h"

namespace qm {

namespace {

// Conference names as EchoLink sends them (exact, case-sensitive), compared in this order. Conferences named after a
// callsign are not listed: they are spelled out like any unlisted conference.
struct ConferencePronunciation {
  std::string_view name;
  std::string_view spoken;
  std::string_view connectAppendix = "";  // after the connect phrase only
  bool testServer = false;                // the test server has phrases of its own
};

constexpr ConferencePronunciation kConferences[] = {
    {"*IRELAND*", "Ireland"},
    {"*ULSTER*", "Ulster"},
    {"*DODROPIN*", "Do Drop In"},
    {"*ENGLAND*", "England"},
    {"*UKLOTA*", "U Kay Ladies On The Air"},
    {"*NASA*", "Nassa"},
    {"*JOTA-E*", "Jamboree on the air : English"},
    {"*VKEMCOMM*", "V Kay Emergency Communications"},
    {"*AUSSIE*", "Australian", " . GuDay from Down Under"},
    {"*CANADIAN*", "Canadian"},
    {"*ECHOTEST*", "Echo Link", "", true},
};

// Position (from 1, in characters) of the first "-", or 0 when there is none.
std::size_t dashPosition(const std::string& s) {
  auto at = s.find('-');
  return at == std::string::npos ? 0 : characterCount(std::string_view(s).substr(0, at)) + 1;
}

}  // namespace

void Form1::Echolink_connected(const std::string& sCallConnected, const std::string& sName, const std::string&) {
  frmMain& main = program_.main();
  // The main window shows the last connect whether or not it is announced.
  main.Label10.setCaption(sCallConnected + " " + sName);
  main.Label11.setCaption(sCallConnected);
  announceStation(sCallConnected, true);
}

void Form1::Echolink_Disconnected(const std::string& sCall) {
  announceStation(sCall, false);
}

void Form1::announceStation(std::string s, bool connecting) {
  std::size_t DashPosition = dashPosition(s);
  if (program_.main().ConDisc.Value() != 1) return;

  const TextBox& conferencePhrase = connecting ? Text12 : Text8;
  if (endsWith(s, "*")) {
    for (const ConferencePronunciation& row : kConferences) {
      if (s != row.name) continue;
      s = std::string(row.spoken);
      const TextBox& phrase = row.testServer ? (connecting ? Text17 : Text16) : conferencePhrase;
      SayTheText = Text7.Text() + " " + s + " " + phrase.Text() + std::string(connecting ? row.connectAppendix : "");
      SpeakTheText();
      DashPosition = 1;  // announced: no station sentence follows
    }
  }
  if (endsWith(s, "*")) {  // a conference not in the table, its name spelled
    TempCall = spellOut(s);
    s = TempCall;
    SayTheText = Text7.Text() + " " + s + " " + conferencePhrase.Text();
    SpeakTheText();
    DashPosition = 1;
  }
  if (endsWith(s, "-L")) {  // a link: the callsign up to its dash, spelled
    TempCall = spellOut(firstCharacters(s, DashPosition));
    s = TempCall;
    SayTheText = s + " : " + (connecting ? Text14 : Text10).Text();
    SpeakTheText();
  }
  if (endsWith(s, "-R")) {  // a repeater, likewise
    TempCall = spellOut(firstCharacters(s, DashPosition));
    s = TempCall;
    SayTheText = s + " : " + (connecting ? Text13 : Text9).Text();
    SpeakTheText();
  } else {
    // A plain station; a callsign with any other suffix is not announced.
    if (DashPosition != 0) return;
    TempCall = spellOut(s);
    s = TempCall;
    SayTheText = s + " , " + (connecting ? Text15 : Text11).Text();
    SpeakTheText();
  }
}

}  // namespace qm
