#include "scenario/script.h"

#include <cctype>

namespace qm {

std::optional<std::vector<std::string>> splitWords(const std::string& line) {
  std::vector<std::string> words;
  if (auto nul = line.find('\0'); nul != std::string::npos)
    throw ScriptError("a NUL byte at column " + std::to_string(nul + 1) + " of the line");
  std::size_t i = 0, n = line.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (i < n && blank(line[i])) ++i;
  if (i == n || line[i] == '#') return std::nullopt;
  while (i < n) {
    if (blank(line[i])) {
      ++i;
      continue;
    }
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < n) {
        char c = line[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c != '\\') {
          word += c;
          continue;
        }
        if (i == n) throw ScriptError("a backslash ends the line");
        char e = line[i++];
        switch (e) {
          case '"':
            word += '"';
            break;
          case '\\':
            word += '\\';
            break;
          case 'r':
            word += '\r';
            break;
          case 'n':
            word += '\n';
            break;
          case 't':
            word += '\t';
            break;
          default:
            throw ScriptError(std::string("unknown escape \\") + e);
        }
      }
      if (!closed) throw ScriptError("a quoted text is not closed");
      if (i < n && !blank(line[i])) throw ScriptError("a quoted text must be followed by a blank");
    } else {
      while (i < n && !blank(line[i])) word += line[i++];
    }
    words.push_back(std::move(word));
  }
  return words;
}

std::vector<ScriptLine> parseScript(const std::string& text) {
  std::vector<ScriptLine> lines;
  std::size_t pos = 0;
  int number = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    try {
      if (auto words = splitWords(line)) lines.push_back({number, line, std::move(*words)});
    } catch (const ScriptError& e) {
      throw ScriptError("line " + std::to_string(number) + ": " + e.what());
    }
    if (end == text.size()) break;
    pos = end + 1;
  }
  return lines;
}

std::chrono::milliseconds parseDuration(const std::string& word) {
  std::size_t i = 0;
  while (i < word.size() && (std::isdigit(static_cast<unsigned char>(word[i])) || word[i] == '.')) ++i;
  std::string number = word.substr(0, i), unit = word.substr(i);
  if (number.empty() || number == ".") throw ScriptError("not a time: " + word);
  double value;
  try {
    value = std::stod(number);
  } catch (const std::exception&) {
    throw ScriptError("not a time: " + word);
  }
  double ms;
  if (unit == "ms")
    ms = value;
  else if (unit == "s")
    ms = value * 1000;
  else if (unit == "m")
    ms = value * 60000;
  else if (unit == "h")
    ms = value * 3600000;
  else
    throw ScriptError("a time needs a unit (ms, s, m, h): " + word);
  if (ms > 1e13) throw ScriptError("time too long: " + word);
  return std::chrono::milliseconds(static_cast<long long>(ms + 0.5));
}

std::chrono::milliseconds parseWaitTime(const std::string& word) {
  auto d = parseDuration(word);
  if (d > kLongestWait) throw ScriptError("'wait' takes at most 31 days (744h), not " + word);
  return d;
}

}  // namespace qm
