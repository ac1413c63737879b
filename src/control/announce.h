#pragma once
// Speaking a sentence through the announcement window, the one way the main window's logic talks on the air.
#include <string>

namespace qm {

class Program;

// The current text of phrase box Text<n> of the announcement window.
std::string phrase(Program& program, int n);
// SayTheText := text, then SpeakTheText.
void announce(Program& program, const std::string& text);

}  // namespace qm
