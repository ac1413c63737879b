#pragma once
// How the transcript writes a word, in one place for every writer (the scenario language's echoes, the nodes' events,
// the node simulator's command lines): a word that the scenario language would not read back as itself (empty, a
// leading "#", a blank, a quote, a backslash, a line end) is quoted, with its escapes. The scenario language
// (scenario/script.h) reads these back; the backends write them without knowing that language.
#include <cstddef>
#include <string>
#include <vector>

namespace qm {

// A text in double quotes with the escapes, as the transcript writes it: \" \\ \r \n \t.
std::string quote(const std::string& text);
// The word as it is, or quoted when it must be.
std::string transcriptWord(const std::string& word);
// Words from `from` on, each as transcriptWord writes it, joined by blanks.
std::string transcriptWords(const std::vector<std::string>& words, std::size_t from = 0);

}  // namespace qm
