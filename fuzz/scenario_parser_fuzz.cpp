// The scenario language's reader: any text either parses or is refused with a ScriptError, and every word it reads
// comes back unchanged when written quoted, as the transcript writes it, and read again. Times either parse to a
// non-negative duration or are refused.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scenario/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<qm::ScriptLine> lines;
  try {
    lines = qm::parseScript(text);
  } catch (const qm::ScriptError&) {
    return 0;
  }
  for (const qm::ScriptLine& line : lines) {
    if (line.words.empty()) __builtin_trap();
    for (const std::string& word : line.words) {
      auto again = qm::splitWords("x " + qm::quote(word));
      if (!again || again->size() != 2 || (*again)[1] != word) __builtin_trap();
      try {
        if (qm::parseDuration(word).count() < 0) __builtin_trap();
      } catch (const qm::ScriptError&) {
      }
    }
  }
  return 0;
}
