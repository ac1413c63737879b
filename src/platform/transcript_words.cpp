#include "platform/transcript_words.h"

namespace qm {

std::string quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const char* escape = c == '"'    ? "\\\""
                         : c == '\\' ? "\\\\"
                         : c == '\r' ? "\\r"
                         : c == '\n' ? "\\n"
                         : c == '\t' ? "\\t"
                                     : nullptr;
    if (escape != nullptr)
      out += escape;
    else
      out += c;
  }
  return out + "\"";
}

std::string transcriptWord(const std::string& word) {
  bool plain = !word.empty() && word[0] != '#';
  for (char c : word)
    if (c == ' ' || c == '\t' || c == '"' || c == '\\' || c == '\r' || c == '\n') plain = false;
  return plain ? word : quote(word);
}

std::string transcriptWords(const std::vector<std::string>& words, std::size_t from) {
  std::string out;
  for (std::size_t i = from; i < words.size(); ++i) out += (out.empty() ? "" : " ") + transcriptWord(words[i]);
  return out;
}

}  // namespace qm
