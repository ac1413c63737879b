#include "options.h"

#include "app/backend_table.h"
#include "platform/folders.h"

namespace qm {

std::string usageText() {
  // The defaults as this machine resolves them now, so that a reader sees the very folders a start would use.
  const std::string home = Folders::defaultHome().string(), machine = Folders::defaultMachine().string();
  return "Usage: quillmere [--headless | --scenario FILE [--real-time]] [--home DIR] [--machine-dir DIR]\n"
         "                 [--callsign CALL] [--node sim|radio] [--skype sim|sip] [--voice espeak|estimate] [--air "
         "FILE.wav]\n"
         "                 [--report-url URL | --no-report] [--transcript FILE] [--screenshots DIR]\n"
         "                 [--help] [--version]\n"
         "       quillmere --release-ptt [--home DIR]\n"
         "       quillmere --check [--home DIR] [--machine-dir DIR]\n"
         "       quillmere --add-user NAME --role viewer|operator|admin [--machine-dir DIR] < password\n"
         "       quillmere --remove-user NAME [--machine-dir DIR]\n"
         "\n"
         "A DTMF-controlled telephone gateway and repeater controller for EchoLink nodes.\n"
         "\n"
         "  (default)          the desktop program, with the node simulator window\n"
         "  --headless         no windows: scenario commands from standard input, the transcript on standard output\n"
         "  --scenario FILE    run a scenario in virtual time; exit 0 when every expectation holds, 1 when one\n"
         "                     fails, 2 when the script is wrong\n"
         "  --real-time        run the scenario on the wall clock ('wait' really waits), e.g. with --skype sip\n"
         "  --home DIR         the program folder (default $XDG_CONFIG_HOME/quillmere or ~/.config/quillmere,\n"
         "                     here " +
         home +
         ")\n"
         "  --machine-dir DIR  the machine-wide settings folder (default " +
         machine +
         ")\n"
         "  --callsign CALL    the node's callsign (default: the radio node's settings, else N0CALL-L)\n"
         "  --node NAME        the EchoLink node: sim (simulated) or radio (this machine's radio interface through\n"
         "                     JACK, set up in quillmere_radio.ini; not in a virtual-time scenario); default: Node\n"
         "                     in quillmere.ini, else sim\n"
         "  --skype NAME       the Skype backend: sim (a simulated client) or sip (real calls through baresip,\n"
         "                     set up in quillmere_sip.ini; headless or --real-time); default: Telephone in\n"
         "                     quillmere.ini, else sim (a scenario keeps sim unless asked)\n"
         "  --voice NAME       espeak (speaks aloud) or estimate (silent, takes the time speech would)\n"
         "  --air FILE.wav     record everything keyed onto the air (speech and Morse)\n"
         "  --report-url URL   where the usage report goes; --no-report sends none\n"
         "  --transcript FILE  write the transcript there instead of standard output\n"
         "  --screenshots DIR  write a PNG of each window after start-up, then exit\n"
         "  --release-ptt      release the PTT line quillmere_radio.ini names, then exit (after a crash)\n"
         "  --check            check every settings file and the radio's devices, list the devices, then exit;\n"
         "                     non-zero when the radio node could not go on the air\n"
         "  --add-user NAME    add (or change) a user of the web page, with --role; the password is read as one\n"
         "                     line from standard input; --remove-user NAME removes one\n"
         "  --help             this text; --version the program's version\n"
         "\n"
         "Settings files: in the program folder (" +
         home +
         "): quillmere.ini, quillmere_buddy.ini,\n"
         "quillmere_language.ini, quillmere_sip.ini, quillmere_radio.ini, quillmere_echolink.ini,\n"
         "quillmere_dialrules.ini; in the machine-wide folder (" +
         machine + "): quillmere_courtsey.ini, quillmere_history.ini, quillmere_web.ini.\n";
}

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error) {
  Options o;
  bool headless = false, scenario = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto optionalValue = [&](std::optional<std::string>& out) {
      std::string v;
      if (!value(v)) return false;
      out = v;
      return true;
    };
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--headless") {
      headless = true;
      o.mode = Mode::Headless;
    } else if (a == "--scenario") {
      if (!value(o.scenario)) return std::nullopt;
      scenario = true;
      o.mode = Mode::Scenario;
    } else if (a == "--real-time") {
      o.realTime = true;
    } else if (a == "--home") {
      if (!optionalValue(o.home)) return std::nullopt;
    } else if (a == "--machine-dir") {
      if (!optionalValue(o.machineDir)) return std::nullopt;
    } else if (a == "--callsign") {
      if (!value(o.callsign)) return std::nullopt;
      o.callsignGiven = true;
    } else if (a == "--node") {
      if (!value(o.node)) return std::nullopt;
      o.nodeGiven = true;
      if (!findBackend(BackendRole::Node, o.node)) {
        error = unknownBackend(BackendRole::Node, o.node);
        return std::nullopt;
      }
    } else if (a == "--skype") {
      if (!value(o.skype)) return std::nullopt;
      o.skypeGiven = true;
      if (!findBackend(BackendRole::Telephone, o.skype)) {
        error = unknownBackend(BackendRole::Telephone, o.skype);
        return std::nullopt;
      }
    } else if (a == "--voice") {
      if (!optionalValue(o.voice)) return std::nullopt;
      if (!findBackend(BackendRole::Voice, *o.voice)) {
        error = unknownBackend(BackendRole::Voice, *o.voice);
        return std::nullopt;
      }
    } else if (a == "--air") {
      if (!optionalValue(o.air)) return std::nullopt;
    } else if (a == "--report-url") {
      if (!optionalValue(o.reportUrl)) return std::nullopt;
    } else if (a == "--no-report") {
      o.noReport = true;
    } else if (a == "--transcript") {
      if (!optionalValue(o.transcript)) return std::nullopt;
    } else if (a == "--release-ptt") {
      o.releasePtt = true;
    } else if (a == "--check") {
      o.check = true;
    } else if (a == "--add-user") {
      if (!optionalValue(o.addUser)) return std::nullopt;
    } else if (a == "--remove-user") {
      if (!optionalValue(o.removeUser)) return std::nullopt;
    } else if (a == "--role") {
      if (!optionalValue(o.role)) return std::nullopt;
      if (*o.role != "viewer" && *o.role != "operator" && *o.role != "admin") {
        error = "unknown role '" + *o.role + "' (known: viewer, operator, admin)";
        return std::nullopt;
      }
    } else if (a == "--screenshots") {
      if (!optionalValue(o.screenshots)) return std::nullopt;
    } else {
      error = "unknown option '" + a + "' (see --help)";
      return std::nullopt;
    }
  }
  if (headless && scenario) {
    error = "--headless and --scenario cannot be used together";
    return std::nullopt;
  }
  if (o.realTime && !scenario) {
    error = "--real-time goes with --scenario FILE";
    return std::nullopt;
  }
  // A real backend runs on the wall clock.
  if (!simulatedBackend(BackendRole::Telephone, o.skype) && scenario && !o.realTime) {
    error = "--skype sip places real calls, which take real time: add --real-time to the scenario run";
    return std::nullopt;
  }
  if (!simulatedBackend(BackendRole::Node, o.node) && scenario && !o.realTime) {
    error = "--node radio is a real radio, which runs in real time: add --real-time to the scenario run";
    return std::nullopt;
  }
  if ((o.releasePtt || o.check) && (headless || scenario || o.screenshots || (o.releasePtt && o.check))) {
    error = std::string(o.releasePtt ? "--release-ptt" : "--check") + " runs alone, with --home" +
            (o.check ? " and --machine-dir" : "") + " at most";
    return std::nullopt;
  }
  if (o.addUser || o.removeUser || o.role) {
    bool alone = !headless && !scenario && !o.screenshots && !o.releasePtt && !o.check && !o.home;
    if (!alone || (o.addUser && o.removeUser)) {
      error = "--add-user and --remove-user run alone, with --machine-dir at most";
      return std::nullopt;
    }
    if (o.addUser && !o.role) {
      error = "--add-user NAME needs --role viewer, operator or admin";
      return std::nullopt;
    }
    if (!o.addUser && o.role) {
      error = "--role goes with --add-user NAME";
      return std::nullopt;
    }
  }
  if (o.reportUrl && o.noReport) {
    error = "--report-url and --no-report cannot be used together";
    return std::nullopt;
  }
  return o;
}

}  // namespace qm
