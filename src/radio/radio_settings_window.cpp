#include "radio/radio_settings_window.h"

#include <algorithm>

#include "app/backends.h"
#include "app/program.h"
#include "app/settings_file.h"
#include "platform/prompter.h"
#include "radio/radio_settings.h"

namespace qm::radio {
namespace {

struct FieldLayout {
  const char* key;
  const char* caption;
  const char* frame;
  int row;  // within its frame
  const char* tip;
};

constexpr FieldLayout kFields[] = {
    {"Callsign", "Callsign", "fraRadio", 0, "the node's callsign with its suffix, N0CALL-L; empty: N0CALL-L"},
    {"Squelch", "Squelch", "fraRadio", 1, "carrier detect: vox, serial:DEV:DCD, cm108:DEV:VOL_DN, gpio:CHIP:LINE ..."},
    {"Ptt", "PTT", "fraRadio", 2, "transmitter keying: none, serial:DEV:RTS, cm108:DEV:GPIO3, gpio:CHIP:LINE ..."},
    {"TxLimit", "TX limit (s)", "fraRadio", 3, "the longest the transmitter stays keyed in one go; 0: no limit"},
    {"TxDelay", "TX delay (ms)", "fraRadio", 4, "from keying to the first audio"},
    {"TxTail", "TX tail (ms)", "fraRadio", 5, "keyed on after the last audio"},
    {"JackServer", "JACK server", "fraJack", 0, "the command that starts JACK when none runs; empty: never start one"},
    {"CapturePort", "From the radio", "fraJack", 1, "the JACK port with the receiver's audio, system:capture_1"},
    {"PlaybackPort", "To the radio", "fraJack", 2, "the JACK port feeding the transmitter, system:playback_1"},
    {"VoxThreshold", "Threshold (dBFS)", "fraVox", 0, "the level at which receive audio counts as a carrier"},
    {"VoxAttack", "Attack (ms)", "fraVox", 1, "sound this long before the carrier counts"},
    {"VoxHang", "Hang (ms)", "fraVox", 2, "quiet this long before the carrier drops"},
    {"DtmfMinLevel", "Min. level (dBFS)", "fraDtmf", 0, "the weakest tone taken"},
    {"DtmfMaxTwist", "Twist (dB)", "fraDtmf", 1, "how much stronger the high tone may be"},
    {"DtmfMaxReverseTwist", "Reverse twist (dB)", "fraDtmf", 2, "how much stronger the low tone may be"},
    {"DtmfMinTone", "Min. tone (ms)", "fraDtmf", 3, "the shortest tone taken"},
    {"DtmfMinGap", "Min. gap (ms)", "fraDtmf", 4, "the silence before the same digit counts again"},
    {"DtmfTimeout", "Time-out (s)", "fraDtmf", 5,
     "digits are raised after this long without another; 0: at carrier drop"},
    {"SpeechLevel", "Speech (dBFS)", "fraAir", 0, "the level of speech on the transmitter's audio"},
    {"CwLevel", "Morse (dBFS)", "fraAir", 1, "the level of the Morse identifier"},
    {"CwTone", "Morse tone (Hz)", "fraAir", 2, "the Morse tone's pitch"},
    {"CwSpeed", "Morse speed (wpm)", "fraAir", 3, "words per minute"},
    {"CallPtt", "Keyed by", "fraCall", 0, "vox: while the far end talks; call: for the whole call"},
    {"CallVoxThreshold", "Threshold (dBFS)", "fraCall", 1, "the far end's level that keys the transmitter"},
    {"CallVoxAttack", "Attack (ms)", "fraCall", 2, "the far end's sound this long before keying"},
    {"CallVoxHang", "Hang (ms)", "fraCall", 3, "quiet this long before the transmitter is let go"},
    {"CallRxGain", "To the air (dB)", "fraCall", 4, "the far end's gain on the transmitter"},
    {"CallTxGain", "To the call (dB)", "fraCall", 5, "the receiver's gain on the call"},
    {"CallDuck", "Under speech (dB)", "fraCall", 6, "the call's level under the program's speech and Morse"},
};

constexpr int kRow = 330, kLabelWidth = 1700, kBoxLeft = 1880, kBoxWidth = 3300, kFrameWidth = 5420;

}  // namespace

RadioSettingsWindow::RadioSettingsWindow(Program& program)
    : Window(program.registry(), "RadioSettings", "Radio Settings"), program_(program) {
  // Frames stacked down two columns, each as tall as its rows, so the window fits an 800 x 600 screen; twips.
  const int rightColumn = 120 + kFrameWidth + 120;
  int leftTop = 120, rightTop = 120;
  const auto place = [&](Frame& frame, int rows, int left, int& top) {
    frame.setGeometry({left, top, kFrameWidth, 300 + rows * kRow + 60});
    top += 300 + rows * kRow + 60 + 120;
  };
  place(fraRadio, 6, 120, leftTop);
  place(fraJack, 3, 120, leftTop);
  place(fraVox, 3, 120, leftTop);
  place(fraAir, 4, 120, leftTop);
  place(fraCall, 7, rightColumn, rightTop);
  place(fraDtmf, 6, rightColumn, rightTop);
  int top = std::max(leftTop, rightTop);
  const int width = rightColumn + kFrameWidth;
  for (const FieldLayout& f : kFields) {
    Field field{f.key, std::make_unique<Label>(*this, std::string("lbl") + f.key, f.caption),
                std::make_unique<TextBox>(*this, std::string("txt") + f.key)};
    const int rowTop = 300 + f.row * kRow;
    field.label->setGeometry({120, rowTop + 30, kLabelWidth, 255});
    field.text->setGeometry({kBoxLeft, rowTop, kBoxWidth, 285});
    field.label->setContainer(f.frame);
    field.text->setContainer(f.frame);
    field.text->setToolTip(f.tip);
    field.text->setBackColor(kWindowBackground);
    fields_.push_back(std::move(field));
  }
  lblHint.setGeometry({120, top, width - 120, 255});
  top += 360;
  cmdSave.setGeometry({width - 2 * 1215 - 120, top, 1215, 375});
  cmdHide.setGeometry({width - 1215, top, 1215, 375});
  setGeometry({0, 0, width + 240, top + 375 + 600});
  cmdSave.Click = [this] { SaveData(); };
  cmdHide.Click = [this] { Hide(); };
}

RadioSettingsWindow::~RadioSettingsWindow() = default;

TextBox* RadioSettingsWindow::box(const std::string& key) {
  for (Field& f : fields_)
    if (f.key == key) return f.text.get();
  return nullptr;
}

void RadioSettingsWindow::Form_Load() {
  SettingsReader in(program_, program_.backends().folders.inProgramFolder(kRadioSettingsFile), "Form_Load");
  for (const RadioSettingKey& k : radioSettingKeys()) {
    std::string value = in.text(k.key, k.fallback);
    if (const std::string why = radioSettingProblem(k.key, value); !why.empty()) {
      in.reportBad(k.key, value, why, k.fallback);
      value = k.fallback;
    }
    box(k.key)->setText(value);
  }
}

bool RadioSettingsWindow::SaveData() {
  std::string problems;
  for (const Field& f : fields_) {
    if (const std::string why = radioSettingProblem(f.key, f.text->Text()); !why.empty())
      problems += "\r\n" + f.label->Caption() + " \"" + f.text->Text() + "\" " + why + ".";
  }
  // The same check a start makes across the two lines.
  const std::string squelch = box("Squelch")->Text(), ptt = box("Ptt")->Text();
  if (problems.empty() && squelch.rfind("pty:", 0) == 0 && squelch == ptt)
    problems += "\r\nSquelch and PTT name the same pseudo-terminal \"" + squelch.substr(4) + "\".";
  if (!problems.empty()) {
    program_.backends().prompter.show("The radio settings were not saved:" + problems, "", BoxIcon::Warning,
                                      BoxButtons::Ok);
    return false;
  }
  SettingsWriter out(program_, program_.backends().folders.inProgramFolder(kRadioSettingsFile));
  for (const RadioSettingKey& k : radioSettingKeys()) out.write(k.key, box(k.key)->Text());
  if (!out.finish()) return false;
  if (onSaved) onSaved();
  return true;
}

void addRadioSettingsWindow(Program& program, std::function<void()> onSaved) {
  program.addWindow("RadioSettings", [onSaved](Program& p) -> std::unique_ptr<Window> {
    auto window = std::make_unique<RadioSettingsWindow>(p);
    window->Form_Load();
    window->onSaved = onSaved;
    return window;
  });
}

}  // namespace qm::radio
