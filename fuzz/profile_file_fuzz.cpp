// The settings-file reader and writer on any bytes: reading a document and writing it out gives back the same bytes;
// a value written under a plain section and key reads back as written (cut to 255
// characters), also after the document is written out and read again, and every other value stays as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/profile_file.h"
#include "platform/vb_text.h"

namespace {

bool hasAny(const std::string& s, const char* chars) {
  return s.find_first_of(chars) != std::string::npos;
}

bool blank(char c) {
  return c == ' ' || c == '\t';
}

bool blankAtEnds(const std::string& s) {
  return !s.empty() && (blank(s.front()) || blank(s.back()));
}

// Names are compared without the blanks around them.
std::string trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(40);
  const std::string key = in.ConsumeRandomLengthString(40);
  const std::string value = in.ConsumeRandomLengthString(400);
  const std::string otherSection = in.ConsumeRandomLengthString(40);
  const std::string otherKey = in.ConsumeRandomLengthString(40);
  const std::string text = in.ConsumeRemainingBytesAsString();

  qm::ProfileFile file = qm::ProfileFile::parse(text);
  check(file.text() == text);

  // Reads of anything never fail, and a read gives at most 255 characters.
  const std::string fallback = file.read(section, key, value);
  check(qm::characterCount(fallback) <= qm::kProfileValueLimit);
  const auto other = file.get(otherSection, otherKey);

  // Only texts that a settings file can hold as they are: no line breaks, no blanks or quotes at the ends that a
  // read would strip, no "]" in a section name, no "=" in a key, and a key that is not a comment or a section.
  bool plain = !hasAny(section, "\r\n]") && !blankAtEnds(section) && !hasAny(key, "\r\n=") && !blankAtEnds(key) &&
               !key.empty() && key[0] != ';' && key[0] != '[' && !hasAny(value, "\r\n") && !blankAtEnds(value) &&
               (value.empty() || (value[0] != '"' && value[0] != '\''));
  file.write(section, key, value);
  if (!plain) return 0;
  const std::string expected = qm::firstCharacters(value, qm::kProfileValueLimit);
  check(file.get(section, key) == expected);
  qm::ProfileFile again = qm::ProfileFile::parse(file.text());
  check(again.get(section, key) == expected);
  bool same = qm::equalsIgnoreCase(trimmed(section), trimmed(otherSection)) &&
              qm::equalsIgnoreCase(trimmed(key), trimmed(otherKey));
  if (!same) check(again.get(otherSection, otherKey) == other);
  return 0;
}
