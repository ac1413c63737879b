// The main settings file, quillmere.ini in the program folder: read once during the load straight into the
// controls (so their change behaviours run), written only by "Save Data".
#include "app/frm_main.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "platform/vb_text.h"

namespace qm {

namespace {
constexpr const char* kFile = "quillmere.ini";
}

void frmMain::loadSettings() {
  SettingsReader in(program_, program_.backends().folders.inProgramFolder(kFile), "Form_Load");
  Mins.setText(in.text("Mins", "4"));
  Enable_DTMF.setText(in.text("Enable_DTMF", "#1#"));
  Disable_DTMF.setText(in.text("Disable_DTMF", "#0#"));
  Check1.setValue(in.checkValue("Check1", 1));
  Check2.setValue(in.checkValue("Check2", 1));
  ConDisc.setValue(in.checkValue("ConDisc", 1));
  TimeOutTimeSeconds.setText(in.text("TimeOutTimeSeconds", "15"));
  VoiceSpeed.setValue(static_cast<int>(in.integer("VOICESPEED", 0, -5, 5)));

  auto minutes = parseNumber(Mins.Text());
  if (!minutes) {
    in.reportBad("Mins", Mins.Text(), "is not a number", "4");
    Mins.setText("4");
    minutes = 4;
  }
  Counter.setCaption(formatNumber(*minutes * 60));
}

void frmMain::SaveData() {
  SettingsWriter out(program_, program_.backends().folders.inProgramFolder(kFile));
  out.write("Mins", Mins.Text());
  out.write("Enable_DTMF", Enable_DTMF.Text());
  out.write("Disable_DTMF", Disable_DTMF.Text());
  out.write("Check1", std::to_string(Check1.Value()));
  out.write("Check2", std::to_string(Check2.Value()));
  out.write("ConDisc", std::to_string(ConDisc.Value()));
  out.write("TimeOutTimeSeconds", TimeOutTimeSeconds.Text());
  out.write("VOICESPEED", std::to_string(VoiceSpeed.Value()));
  out.finish();
}

}  // namespace qm
