#include "courtesy/courtesy_settings_table.h"

#include "platform/vb_text.h"

namespace qm {

namespace {
// The identifier takes any number of minutes above 0 (a fraction too).
std::string periodProblem(const std::string& value) {
  auto minutes = parseNumber(value);
  return minutes && *minutes > 0 ? "" : "is not a number of minutes above 0";
}

SettingKey check(const char* name, const char* fallback, const char* help) {
  return {.name = name, .kind = SettingKind::Whole, .fallback = fallback, .min = 0, .max = 2, .help = help};
}

SettingKey milliseconds(const char* name, const char* fallback, const char* help) {
  return {.name = name,
          .kind = SettingKind::Whole,
          .fallback = fallback,
          .min = 0,
          .max = 65535,
          .unit = "ms",
          .help = help};
}
}  // namespace

const SettingsTable& courtesySettingsTable() {
  static const SettingsTable table(
      kCourtesySettingsFile,
      "Courtesy tones, the anti-kerchunk filter and the CW identifier, in the machine-wide folder; the courtesy "
      "window's \"Save\" writes every key (and LEFT and TOP, where the window was, in twips).",
      {
          check("CHECK1", "1", "1: a courtesy letter follows each transmission (\"Use Courtesy Tones\"); 0: none"),
          {.name = "COURTESYID", .fallback = "K", .help = "the Morse letter after a transmission from the radio"},
          {.name = "IPCOURTESY", .fallback = "I", .help = "the Morse letter after a transmission from the network"},
          milliseconds("HANGTIME", "500", "how long the carrier must be gone before the radio's letter"),
          milliseconds("KERCHUNKWAIT", "3000",
                       "the anti-kerchunk wait: a transmission shorter than this gets no letter"),
          check("STOPCLOCK7", "0", "1: the CW identifier runs (\"Use CW Ident\"); 0: off"),
          {.name = "BEACONPERIOD7",
           .fallback = "15",
           .help = "minutes between identifications",
           .check = periodProblem},
          {.name = "CWCALLSIGN", .fallback = "Your Call", .help = "the identification in Morse", .example = "N0CALL"},
          check("USELONGCHECK", "0", "1: every LONGID-th identification is the long one (\"Use Long id\"); 0: never"),
          {.name = "LONGID",
           .kind = SettingKind::Number,
           .fallback = "5",
           .min = 0,
           .max = 1000000,
           .help = "the long identification is every this many identifications"},
          {.name = "CWCALLSIGNLONG",
           .fallback = "Your Call & QRA",
           .help = "the long identification in Morse",
           .example = "N0CALL FN42"},
      });
  return table;
}

}  // namespace qm
