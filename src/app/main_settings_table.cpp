#include "app/main_settings_table.h"

#include "app/backend_table.h"
#include "platform/vb_text.h"

namespace qm {

namespace {
// The main window's load takes any number of minutes (a fraction too) and names anything else.
std::string minutesProblem(const std::string& value) {
  return parseNumber(value) ? "" : "is not a number";
}
}  // namespace

const SettingsTable& mainSettingsTable() {
  static const SettingsTable table(
      "quillmere.ini",
      "The main window's settings: DTMF control, its codes, announcements, the transmit time-out and the voice. In "
      "the program folder; the main window's \"Save Data\" writes it.",
      {
          {.name = "Node",
           .kind = SettingKind::Choice,
           .fallback = backendNames(BackendRole::Node).front(),
           .choices = backendNames(BackendRole::Node),
           .help = "the node: radio (this machine's radio, quillmere_radio.ini) or sim; --node wins",
           .example = "radio"},
          {.name = "Telephone",
           .kind = SettingKind::Choice,
           .fallback = backendNames(BackendRole::Telephone).front(),
           .choices = backendNames(BackendRole::Telephone),
           .help = "the telephone: sip (real calls through baresip, quillmere_sip.ini) or sim; --skype wins",
           .example = "sip"},
          {.name = "Mins",
           .fallback = "4",
           .help = "the transmit time-out in minutes; 0 turns it off",
           .check = minutesProblem},
          {.name = "Enable_DTMF", .fallback = "#1#", .help = "the DTMF code that switches DTMF control on"},
          {.name = "Disable_DTMF", .fallback = "#0#", .help = "the DTMF code that switches DTMF control off"},
          {.name = "Check1",
           .kind = SettingKind::Whole,
           .fallback = "1",
           .min = 0,
           .max = 2,
           .help = "1: DTMF control is on at start (\"Use DTMF Ctrl\"); 0: off"},
          {.name = "Check2",
           .kind = SettingKind::Whole,
           .fallback = "1",
           .min = 0,
           .max = 2,
           .help = "1: the voice speaks on the air (\"Enable Voice\"); 0: silent"},
          {.name = "ConDisc",
           .kind = SettingKind::Whole,
           .fallback = "1",
           .min = 0,
           .max = 2,
           .help = "1: stations connecting and leaving are announced; 0: not"},
          {.name = "TimeOutTimeSeconds",
           .fallback = "15",
           .help = "how long a call request waits for A to confirm it, in seconds"},
          {.name = "VOICESPEED",
           .kind = SettingKind::Whole,
           .fallback = "0",
           .min = -5,
           .max = 5,
           .help = "the voice's rate, slow to fast"},
      });
  return table;
}

}  // namespace qm
