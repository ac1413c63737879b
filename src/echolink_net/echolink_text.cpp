#include "echolink_net/echolink_text.h"

#include <algorithm>
#include <cstring>

namespace qm::echolink_net {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at `at` (no overlong forms, surrogates or values past U+10FFFF), or 0.
std::size_t sequenceAt(const std::string& s, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b = byte(at);
  std::size_t n = b < 0x80                 ? 1
                  : b >= 0xC2 && b <= 0xDF ? 2
                  : b >= 0xE0 && b <= 0xEF ? 3
                  : b >= 0xF0 && b <= 0xF4 ? 4
                                           : 0;
  if (n == 0 || at + n > s.size()) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  unsigned char second = n > 1 ? byte(at + 1) : 0;
  if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second > 0x9F) || (b == 0xF0 && second < 0x90) ||
      (b == 0xF4 && second > 0x8F))
    return 0;
  return n;
}

}  // namespace

std::string visible(const std::string& text, const char* keep, std::size_t limit) {
  std::string out;
  out.reserve(std::min(text.size(), limit));
  for (std::size_t at = 0; at < text.size();) {
    std::size_t n = sequenceAt(text, at);
    unsigned char b = static_cast<unsigned char>(text[at]);
    bool control = n == 1 ? (b < 0x20 || b == 0x7F) && (b == 0 || std::strchr(keep, b) == nullptr)
                          : n == 2 && b == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
    const std::string piece = n == 0 || control ? std::string(kReplacement) : text.substr(at, n);
    if (out.size() + piece.size() > limit) break;
    out += piece;
    at += n == 0 ? 1 : n;
  }
  return out;
}

std::string chatLine(const std::string& received, std::size_t limit) {
  std::string out = received.substr(0, received.size() > limit + 2 ? limit + 2 : received.size());
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '\0')) out.pop_back();
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return visible(out, "", limit);
}

std::string stationName(const std::string& received) {
  std::string out = received.substr(0, 256);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return visible(out, "", 64);
}

std::string stationText(const std::string& received, std::size_t limit) {
  std::string lines;
  for (char c : received) {
    if (lines.size() >= limit) break;
    if (c == '\0') continue;
    lines += c == '\n' ? '\r' : c;
  }
  std::string out = visible(lines, "\r\t", limit);
  if (!out.empty() && out.back() != '\r' && out.size() < limit) out += '\r';
  return out;
}

std::string chatToSend(const std::string& text, std::size_t limit) {
  std::string out = text.substr(0, limit);
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  return out;
}

}  // namespace qm::echolink_net
