#include "platform/vb_text.h"

#include <cmath>
#include <cstdio>

namespace qm {
namespace {

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

std::string_view trimBlanks(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return negative ? -v : v;
}

std::optional<double> parseNumber(std::string_view text) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  double v = 0, scale = 1;
  bool digits = false, point = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      if (point) {
        scale /= 10;
        v += (c - '0') * scale;
      } else {
        v = v * 10 + (c - '0');
      }
    } else {
      return std::nullopt;
    }
  }
  if (!digits || !std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

std::string formatNumber(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

std::string spellOut(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (i + 1 == text.size() || !isContinuation(static_cast<unsigned char>(text[i + 1]))) out += ' ';
  }
  return out;
}

std::string firstCharacters(std::string_view text, std::size_t count) {
  std::size_t i = 0, seen = 0;
  while (i < text.size()) {
    if (!isContinuation(static_cast<unsigned char>(text[i]))) {
      if (seen == count) break;
      ++seen;
    }
    ++i;
  }
  return std::string(text.substr(0, i));
}

std::size_t characterCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    if (!isContinuation(static_cast<unsigned char>(c))) ++n;
  return n;
}

std::string lastCharacters(std::string_view text, std::size_t count) {
  std::size_t total = characterCount(text);
  if (total <= count) return std::string(text);
  std::size_t skip = total - count, i = 0, seen = 0;
  while (i < text.size()) {
    if (!isContinuation(static_cast<unsigned char>(text[i]))) {
      if (seen == skip) break;
      ++seen;
    }
    ++i;
  }
  return std::string(text.substr(i));
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string orList(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
  return text;
}

}  // namespace qm
