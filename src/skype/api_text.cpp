#include "skype/api_text.h"

#include <algorithm>
#include <sstream>

namespace qm {

ApiText::ApiText(const std::string& text) : bytes_(text.begin(), text.end()) {
  bytes_.push_back('\0');
  record_.dwData = 0;
  record_.cbData = static_cast<std::uint32_t>(bytes_.size());
  record_.lpData = bytes_.data();
}

std::string decodeApiText(LPARAM lParam) {
  std::vector<char> bytes = copyDataBytes(lParam);
  auto end = std::find(bytes.begin(), bytes.end(), '\0');
  return toValidUtf8(std::string(bytes.begin(), end));
}

std::string toValidUtf8(const std::string& bytes) {
  static const char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < bytes.size()) {
    unsigned char c = at(i);
    std::size_t length = 0;
    std::uint32_t min = 0, code = 0;
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2, min = 0x80, code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, min = 0x800, code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, min = 0x10000, code = c & 0x07;
    }
    bool ok = length > 0 && i + length <= bytes.size();
    for (std::size_t k = 1; ok && k < length; ++k) {
      if ((at(i + k) & 0xC0) != 0x80) ok = false;
      code = (code << 6) | (at(i + k) & 0x3F);
    }
    if (ok && (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) ok = false;
    if (ok) {
      out.append(bytes, i, length);
      i += length;
    } else {
      out += kReplacement;
      ++i;  // resynchronise on the next byte
    }
  }
  return out;
}

std::vector<std::string> splitApiWords(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::optional<std::string> apiCallTarget(const std::string& text) {
  std::vector<std::string> words = splitApiWords(text);
  if (words.empty() || apiUpper(words[0]) != "CALL") return std::nullopt;
  static constexpr const char* kBlanks = " \t\r\n\v\f";  // where the words are split
  auto verb = text.find_first_not_of(kBlanks);
  auto from = text.find_first_not_of(kBlanks, text.find_first_of(kBlanks, verb));
  if (from == std::string::npos) return std::string();
  return text.substr(from, text.find_last_not_of(kBlanks) - from + 1);
}

std::string apiUpper(std::string word) {
  for (char& c : word)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return word;
}

bool isApiCallId(const std::string& id) {
  if (id.empty() || id.size() > 18) return false;
  for (char c : id)
    if (c < '0' || c > '9') return false;
  return true;
}

bool isCallEndStatus(const std::string& status) {
  for (const char* s : {"FINISHED", "BUSY", "REFUSED", "FAILED", "CANCELLED", "MISSED", "UNPLACED"})
    if (status == s) return true;
  return false;
}

}  // namespace qm
