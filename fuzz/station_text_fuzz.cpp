// Texts from the node: each line of the input is a station text, unless its first byte says otherwise: 'c' a
// station connects with the rest as its callsign (announced and logged), 'd' that station disconnects, 'h' a chat
// line. Bare carriage returns stay inside a piece, as they come in station texts.
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::fuzz::FuzzSession run;
  qm::Session& s = run.session();
  for (const std::string& piece : qm::fuzz::pieces(data, size)) {
    if (run.ended()) break;
    const std::string rest = piece.empty() ? std::string() : piece.substr(1);
    switch (piece.empty() ? '\0' : piece[0]) {
      case 'c':
        run.act([&] { s.node.connect(rest, "Op", "10.0.0.7"); });
        break;
      case 'd':
        run.act([&] { s.node.disconnect(rest); });
        break;
      case 'h':
        run.act([&] { s.node.chat(rest); });
        break;
      default:
        run.act([&] { s.node.stationText(piece); });
    }
    run.run(std::chrono::milliseconds(100));
  }
  return 0;
}
