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
};

constexpr FieldLayout kFields[] = {
    {"Callsign", "Callsign", "fraRadio", 0},
    {"Squelch", "Squelch", "fraRadio", 1},
    {"Ptt", "PTT", "fraRadio", 2},
    {"TxLimit", "TX limit (s)", "fraRadio", 3},
    {"TxDelay", "TX delay (ms)", "fraRadio", 4},
    {"TxTail", "TX tail (ms)", "fraRadio", 5},
    {"JackServer", "JACK server", "fraJack", 0},
    {"CapturePort", "From the radio", "fraJack", 1},
    {"PlaybackPort", "To the radio", "fraJack", 2},
    {"VoxThreshold", "Threshold (dBFS)", "fraVox", 0},
    {"VoxAttack", "Attack (ms)", "fraVox", 1},
    {"VoxHang", "Hang (ms)", "fraVox", 2},
    {"DtmfMinLevel", "Min. level (dBFS)", "fraDtmf", 0},
    {"DtmfMaxTwist", "Twist (dB)", "fraDtmf", 1},
    {"DtmfMaxReverseTwist", "Reverse twist (dB)", "fraDtmf", 2},
    {"DtmfMinTone", "Min. tone (ms)", "fraDtmf", 3},
    {"DtmfMinGap", "Min. gap (ms)", "fraDtmf", 4},
    {"DtmfTimeout", "Time-out (s)", "fraDtmf", 5},
    {"SpeechLevel", "Speech (dBFS)", "fraAir", 0},
    {"CwLevel", "Morse (dBFS)", "fraAir", 1},
    {"CwTone", "Morse tone (Hz)", "fraAir", 2},
    {"CwSpeed", "Morse speed (wpm)", "fraAir", 3},
    {"CallPtt", "Keyed by", "fraCall", 0},
    {"CallVoxThreshold", "Threshold (dBFS)", "fraCall", 1},
    {"CallVoxAttack", "Attack (ms)", "fraCall", 2},
    {"CallVoxHang", "Hang (ms)", "fraCall", 3},
    {"CallRxGain", "To the air (dB)", "fraCall", 4},
    {"CallTxGain", "To the call (dB)", "fraCall", 5},
    {"CallDuck", "Under speech (dB)", "fraCall", 6},
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
    field.text->setToolTip(radioSettingsTable().find(f.key)->help);
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
  for (const SettingKey& k : radioSettingsTable().keys()) {
    std::string value = in.text(k.name, k.fallback);
    if (const std::string why = radioSettingsTable().problem(k.name, value); !why.empty()) {
      in.reportBad(k.name, value, why, k.fallback);
      value = k.fallback;
    }
    box(k.name)->setText(value);
  }
}

bool RadioSettingsWindow::SaveData() {
  std::string problems;
  for (const Field& f : fields_) {
    if (const std::string why = radioSettingsTable().problem(f.key, f.text->Text()); !why.empty())
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
  for (const SettingKey& k : radioSettingsTable().keys()) out.write(k.name, box(k.name)->Text());
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
