#include "radio/radio_settings_window.h"

#include <algorithm>

#include "app/program.h"
#include "radio/radio_settings.h"

namespace qm::radio {
namespace {

constexpr TableSettingsWindow::Place kFields[] = {
    {"Callsign", "Callsign", "fraRadio", 0},
    {"Squelch", "Squelch", "fraRadio", 1},
    {"Ptt", "PTT", "fraRadio", 2},
    {"TxLimit", "TX limit (s)", "fraRadio", 3},
    {"RxLimit", "RX limit (s)", "fraRadio", 4},
    {"TxDelay", "TX delay (ms)", "fraRadio", 5},
    {"TxTail", "TX tail (ms)", "fraRadio", 6},
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

constexpr int kLabelWidth = 1700, kBoxLeft = 1880, kBoxWidth = 3300, kFrameWidth = 5420;

}  // namespace

RadioSettingsWindow::RadioSettingsWindow(Program& program)
    : TableSettingsWindow(program, "RadioSettings", "Radio Settings", radioSettingsTable(), "radio", 0666) {
  // Frames stacked down two columns, each as tall as its rows, so the window fits an 800 x 600 screen; twips.
  const int rightColumn = 120 + kFrameWidth + 120;
  int leftTop = 120, rightTop = 120;
  const auto place = [&](Frame& frame, int rows, int left, int& top) {
    frame.setGeometry({left, top, kFrameWidth, 300 + rows * kRow + 60});
    top += 300 + rows * kRow + 60 + 120;
  };
  place(fraRadio, 7, 120, leftTop);
  place(fraJack, 3, 120, leftTop);
  place(fraVox, 3, 120, leftTop);
  place(fraAir, 4, 120, leftTop);
  place(fraCall, 7, rightColumn, rightTop);
  place(fraDtmf, 6, rightColumn, rightTop);
  int top = std::max(leftTop, rightTop);
  const int width = rightColumn + kFrameWidth;
  for (const Place& f : kFields) addField(f.key, f.caption, f.frame, f.row, {kLabelWidth, kBoxLeft, kBoxWidth});
  lblHint.setGeometry({120, top, width - 120, 255});
  top += 360;
  cmdSave.setGeometry({width - 2 * 1215 - 120, top, 1215, 375});
  cmdHide.setGeometry({width - 1215, top, 1215, 375});
  setGeometry({0, 0, width + 240, top + 375 + 600});
  cmdSave.Click = [this] { SaveData(); };
  cmdHide.Click = [this] { Hide(); };
}

std::string RadioSettingsWindow::problemsAcross() {
  // The same check a start makes across the two lines.
  const std::string squelch = box("Squelch")->Text(), ptt = box("Ptt")->Text();
  if (squelch.rfind("pty:", 0) == 0 && squelch == ptt)
    return "\r\nSquelch and PTT name the same pseudo-terminal \"" + squelch.substr(4) + "\".";
  return "";
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
