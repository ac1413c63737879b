// The announcement window itself: its layout, the language file (quillmere_language.ini in the program folder,
// section SETTINGS, keys TEXT1 to TEXT28) and the close box.
#include "speech/form1.h"

#include "app/frm_main.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "app/version.h"
#include "echolink/echolink_app.h"
#include "platform/profile_file.h"
#include "platform/prompter.h"
#include "speech/voice.h"

namespace qm {

namespace {

constexpr const char* kLanguageFile = "quillmere_language.ini";

struct Phrase {
  const char* key;
  const char* label;  // the English reference, shown beside the box (with its historic typo in TEXT6)
  const char* text;   // used when the file has no such key
};

constexpr Phrase kPhrases[28] = {
    {"TEXT1", "Call", "Call"},
    {"TEXT2", "Enter A to Accept", "Enter A to Accept"},
    {"TEXT3", "Sorry Request Timed Out", "Sorry Request Timed Out"},
    {"TEXT4", "DTMF Enabled", "DTMF Enabled"},
    {"TEXT5", "DTMF Disabled", "DTMF Disabled"},
    {"TEXT6", "Time out exceeded. Discionnected", "Time out exceeded. Disconnected"},
    {"TEXT7", "The", "The"},
    {"TEXT8", "Conference Has Disconnected", "Conference Has Disconnected"},
    {"TEXT9", "Repeater Disconnected", "Repeater Disconnected"},
    {"TEXT10", "Link Disconnected", "Link Disconnected"},
    {"TEXT11", "Disconnected", "Disconnected"},
    {"TEXT12", "Conference Has Connected", "Conference Has Connected"},
    {"TEXT13", "Repeater Connected", "Repeater Connected"},
    {"TEXT14", "Link Connected", "Link Connected"},
    {"TEXT15", "Connected", "Connected"},
    {"TEXT16", "Test Server has Disconnected", "Test Server has Disconnected"},
    {"TEXT17", "Test Server has Connected", "Test Server has Connected"},
    {"TEXT18", "Sorry that number is not allowed", "Sorry that number is not allowed"},
    {"TEXT19", "Sorry call limit reached", "Sorry call limit reached"},
    {"TEXT20", "Call time limit reached. Disconnected", "Call time limit reached. Disconnected"},
    {"TEXT21", "Sorry that number is too long", "Sorry that number is too long"},
    {"TEXT22", "Sorry the line is busy", "Sorry the line is busy"},
    {"TEXT23", "Sorry there is no answer", "Sorry there is no answer"},
    {"TEXT24", "Sorry the call was declined", "Sorry the call was declined"},
    {"TEXT25", "Sorry the call failed", "Sorry the call failed"},
    {"TEXT26", "Sorry the phone line is not registered", "Sorry the phone line is not registered"},
    {"TEXT27", "(30, 20, 10) seconds left", "seconds left"},
    {"TEXT28", "Incoming call from", "Incoming call from"},
};
// The phrases from here on came later: written once they differ from their default or the file holds them, so that a
// language file saved by an earlier version stays as it was.
constexpr std::size_t kFirstAccessPhrase = 17;

// Layout in twips: a column of labels beside a column of boxes, the two buttons below.
constexpr int kMargin = 120, kRowPitch = 345, kLabelWidth = 2895, kBoxLeft = 3120, kBoxWidth = 4215;
constexpr int kBoxHeight = 285, kButtonWidth = 1215, kButtonHeight = 375;
// Outer size of a fixed single-border window around the client area (as the main window's).

}  // namespace

Form1::Form1(Program& program)
    : Window(program.registry(), "Form1", std::string(kProductName) + "                 TTS Text Language Changer"),
      program_(program),
      phrases_{&Text1,  &Text2,  &Text3,  &Text4,  &Text5,  &Text6,  &Text7,  &Text8,  &Text9,
               &Text10, &Text11, &Text12, &Text13, &Text14, &Text15, &Text16, &Text17, &Text18,
               &Text19, &Text20, &Text21, &Text22, &Text23, &Text24, &Text25, &Text26, &Text27, &Text28},
      labels_{&Label1,  &Label2,  &Label3,  &Label4,  &Label5,  &Label6,  &Label7,  &Label8,  &Label9,
              &Label10, &Label11, &Label12, &Label13, &Label14, &Label15, &Label16, &Label17, &Label18,
              &Label19, &Label20, &Label21, &Label22, &Label23, &Label24, &Label25, &Label26, &Label27, &Label28} {
  layOut();
  addVariable("SayTheText", {[this] { return SayTheText; }, [this](const std::string& v) { SayTheText = v; }});
  addVariable("TempCall", {[this] { return TempCall; }, [this](const std::string& v) { TempCall = v; }});
  Command1.Click = [this] { Hide(); };
  Command2.Click = [this] { SaveData(); };
}

Form1::~Form1() = default;

void Form1::layOut() {
  for (std::size_t i = 0; i < phrases_.size(); ++i) {
    int top = kMargin + static_cast<int>(i) * kRowPitch;
    labels_[i]->setCaption(kPhrases[i].label);
    labels_[i]->setGeometry({kMargin, top + 30, kLabelWidth, 255});
    phrases_[i]->setGeometry({kBoxLeft, top, kBoxWidth, kBoxHeight});
  }
  int buttonsTop = kMargin + static_cast<int>(phrases_.size()) * kRowPitch + 60;
  int right = kBoxLeft + kBoxWidth;
  Command1.setGeometry({right - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight});
  Command2.setGeometry({right - 2 * kButtonWidth - kMargin, buttonsTop, kButtonWidth, kButtonHeight});
  int clientWidth = right + kMargin, clientHeight = buttonsTop + kButtonHeight + kMargin;
  const Rect& screen = program_.backends().screen;
  int width = clientWidth + kBorderWidth, height = clientHeight + kBorderHeight;
  setGeometry({(screen.width - width) / 2, (screen.height - height) / 2, width, height});
}

void Form1::Form_Load() {
  // The voice is the program's, handed in by main; it lives as long as the program.
  voice_ = program_.backends().voice;
  EchoLink = program_.backends().node.createApp();
  EchoLink->events.connected = [this](const std::string& call, const std::string& name, const std::string& addr) {
    Echolink_connected(call, name, addr);
  };
  EchoLink->events.Disconnected = [this](const std::string& call) { Echolink_Disconnected(call); };
  EchoLink->events.Closing = [this] { EchoLink_Closing(); };
  setCaption(std::string(kProductName) + "                 TTS Text Language Changer");

  SettingsReader in(program_, program_.backends().folders.inProgramFolder(kLanguageFile), "Form_Load");
  for (std::size_t i = 0; i < phrases_.size(); ++i) phrases_[i]->setText(in.text(kPhrases[i].key, kPhrases[i].text));

  if (voice_) {
    try {
      voice_->setRate(program_.main().VoiceSpeed.Value());
    } catch (const std::exception&) {
      // the rate is set again before every utterance
    }
  }
}

void Form1::SaveData() {
  std::filesystem::path path = program_.backends().folders.inProgramFolder(kLanguageFile);
  ProfileFile before = ProfileFile::load(path);
  SettingsWriter out(program_, path);
  for (std::size_t i = 0; i < phrases_.size(); ++i) {
    if (i >= kFirstAccessPhrase && phrases_[i]->Text() == kPhrases[i].text && !before.get("SETTINGS", kPhrases[i].key))
      continue;
    out.write(kPhrases[i].key, phrases_[i]->Text());
  }
  out.finish();
}

void Form1::closeRequest() {
  BoxAnswer answer = program_.backends().prompter.show("Quit - Are You Sure ? Remember To Save Any Changes  ",
                                                       "Exit Program", BoxIcon::Question, BoxButtons::YesNo);
  if (answer != BoxAnswer::Yes) return;
  try {
    app().SetPTT(false);
  } catch (const std::exception&) {
    // EchoLink did not answer; the program ends all the same
  }
  program_.end();
}

EchoLinkApp& Form1::app() {
  if (!EchoLink) throw AutomationError("the announcement window has no EchoLink instance");
  return *EchoLink;
}

Voice& Form1::voice() {
  if (!voice_) throw std::runtime_error("no voice");
  return *voice_;
}

}  // namespace qm
