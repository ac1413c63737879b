// Incoming Skype messages: each line of the input is one copy-data message from Skype's API window to the program's
// main window (the raw bytes, not necessarily terminated or valid UTF-8), so it goes through WindowProc, the data
// panel, call tracking and the incoming calls, which take callers by the rules written below (every mode) with DTMF
// control on. A line that starts with byte 1 is instead the radio user's "DD", which sends whatever call tracking left
// in the send box to the simulated client; byte 2, the radio user's answer code. A second of virtual time passes
// after each, so the time-out counter and the other timers see the state the message left.
#include <sys/stat.h>

#include <fstream>

#include "app/frm_main.h"
#include "fuzz_session.h"
#include "skype/mod_main.h"

namespace {

// Once per process, before the first session: the folders are otherwise empty.
void writeIncomingRules() {
  static const bool written = [] {
    const std::filesystem::path path = qm::fuzz::scratchFolder() / "quillmere_dialrules.ini";
    std::ofstream(path) << "[SETTINGS]\r\nAnswerCode=*0\r\nRingSeconds=10\r\nWrongCodesAllowed=2\r\n"
                           "WrongPinsAllowed=3\r\n[INCOMING]\r\ndeny 1900*\r\nallow 1XX ring\r\n"
                           "allow 2* pin 4711\r\nallow 3* pin 4711 code\r\ntrusted 4* auto\r\nallow * ring\r\n";
    chmod(path.c_str(), 0600);  // it holds PINs: kept private, so the start has nothing to say about it
    return true;
  }();
  (void)written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  writeIncomingRules();
  qm::fuzz::FuzzSession run;
  qm::frmMain& main = run.session().program().main();
  qm::modMain& link = main.skypeLink();
  run.act([&] { main.Check1.setValue(1); });
  for (const std::string& piece : qm::fuzz::pieces(data, size)) {
    if (run.ended()) break;
    if (!piece.empty() && piece[0] == '\x01') {
      run.act([&] { run.session().node.dtmf("DD"); });
    } else if (!piece.empty() && piece[0] == '\x02') {
      run.act([&] { run.session().node.dtmf("*0"); });
    } else {
      qm::COPYDATASTRUCT record;
      record.cbData = static_cast<std::uint32_t>(piece.size());
      record.lpData = piece.data();
      run.act([&] {
        link.windowSystem().SendMessage(link.mainWindowHandle(), qm::WM_COPYDATA, link.SkypeApiHwnd,
                                        reinterpret_cast<qm::LPARAM>(&record));
      });
    }
    run.run(std::chrono::seconds(1));
  }
  // The data panel never holds more than its capacity.
  if (main.txtData.Text().size() > 10000 * 4) __builtin_trap();
  return 0;
}
