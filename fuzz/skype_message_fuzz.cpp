// Incoming Skype messages: each line of the input is one copy-data message from Skype's API window to the program's
// main window (the raw bytes, not necessarily terminated or valid UTF-8), so it goes through WindowProc, the data
// panel and call tracking. A line that starts with byte 1 is instead the radio user's "DD", which sends whatever
// call tracking left in the send box to the simulated client. A second of virtual time passes after each, so the
// time-out counter and the other timers see the state the message left.
#include "app/frm_main.h"
#include "fuzz_session.h"
#include "skype/mod_main.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::fuzz::FuzzSession run;
  qm::frmMain& main = run.session().program().main();
  qm::modMain& link = main.skypeLink();
  for (const std::string& piece : qm::fuzz::pieces(data, size)) {
    if (run.ended()) break;
    if (!piece.empty() && piece[0] == '\x01') {
      run.act([&] { run.session().node.dtmf("DD"); });
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
