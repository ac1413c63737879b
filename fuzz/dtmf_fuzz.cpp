// DTMF strings through the interpreter with DTMF control on: each line of the input is one DTMF string from the
// node, followed by a second of virtual time; an empty line lets twelve seconds pass, so a pending request can
// expire.
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::fuzz::FuzzSession run;
  for (const std::string& piece : qm::fuzz::pieces(data, size)) {
    if (run.ended()) break;
    if (piece.empty()) {
      run.run(std::chrono::seconds(12));
      continue;
    }
    run.act([&] { run.session().node.dtmf(piece); });
    run.run(std::chrono::seconds(1));
  }
  return 0;
}
