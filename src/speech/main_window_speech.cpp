// The main window's part in speech: the voice-speed label follows the slider, and "Voice Test" speaks "123456" spelled.
#include "app/frm_main.h"
#include "app/program.h"
#include "speech/form1.h"

namespace qm {

void frmMain::wireSpeech() {
  // Moving the slider only shows the new speed; the voice takes it at the next utterance.
  VoiceSpeed.Change = [this] { Label12.setCaption(std::to_string(VoiceSpeed.Value())); };
  Command1.Click = [this] {
    TempCall = "123456";
    SplitCall();
    Form1& announcer = program_.form1();
    announcer.SayTheText = TempCall;
    announcer.SpeakTheText();
  };
}

}  // namespace qm
