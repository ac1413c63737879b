// Speech over the air: the one way the program speaks. The caller assigns SayTheText and calls SpeakTheText, which
// keys the transmitter through the window's own EchoLink instance, speaks synchronously at the main window's voice
// speed and unkeys, showing "PTT ON" on the main window meanwhile.
#include <exception>

#include "app/frm_main.h"
#include "app/program.h"
#include "echolink/echolink_app.h"
#include "platform/vb_text.h"
#include "speech/form1.h"
#include "speech/voice.h"

namespace qm {

namespace {
constexpr Colour kRed = rgb(255, 0, 0);

// Runs one step of an utterance; a failure is passed over so that the steps after it still run (the transmitter
// is always unkeyed and the indicator always put back).
template <typename Step>
void attempt(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
  }
}
}  // namespace

void Form1::SpeakTheText() {
  frmMain& main = program_.main();
  if (main.Check2.Value() != 1) return;  // voice off (a greyed box counts as off)
  // Zeros are said as the word, so that "G0ABC" is not heard as "G O A B C".
  SayTheText = replaceAll(SayTheText, "0", " Zero ");

  attempt([&] {
    main.PTT.setBackColor(kRed);
    main.PTT.setText("PTT ON");
  });
  attempt([&] { app().SetPTT(true); });
  attempt([&] { voice().setRate(main.VoiceSpeed.Value()); });
  attempt([&] { voice().speak(SayTheText); });
  attempt([&] { app().SetPTT(false); });
  attempt([&] {
    main.PTT.setBackColor(kButtonFace);
    main.PTT.setText("PTT OFF");
  });
}

void Form1::EchoLink_Closing() {
  attempt([&] { app().SetPTT(false); });
  program_.end();
}

}  // namespace qm
