#pragma once
// The scenario language's lexical rules: one command a line; blank lines and lines whose first non-blank character
// is "#" are ignored; arguments are separated by blanks; an argument in double quotes may hold blanks and the
// escapes \" \\ \r \n \t. Times are a number and a unit: 250ms, 10s, 4m, 1h. A NUL byte has no place in a line: no
// node sends one and no message could show it.
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/transcript_words.h"  // quote(), as the transcript writes a text

namespace qm {

// The script is wrong: unknown command, bad syntax, unknown name (exit status 2).
struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ScriptLine {
  int number = 0;
  std::string text;                // the line as written, without its line break
  std::vector<std::string> words;  // the command and its arguments, quotes and escapes resolved
};

// Splits one line into words; nothing for a blank or comment line. Throws ScriptError on an open quote or a bad
// escape.
std::optional<std::vector<std::string>> splitWords(const std::string& line);
std::vector<ScriptLine> parseScript(const std::string& text);
std::chrono::milliseconds parseDuration(const std::string& word);
// The longest `wait`: a month of node traffic is the most a scenario has use for.
constexpr std::chrono::hours kLongestWait{24 * 31};
// The time of a `wait`: a time no longer than kLongestWait.
std::chrono::milliseconds parseWaitTime(const std::string& word);

}  // namespace qm
