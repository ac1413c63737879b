#pragma once
// Text rules the program's windows share: numbers read from and written into text boxes, and string helpers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The text without the blanks and tabs around it.
std::string_view trimBlanks(std::string_view text);
// An integer written in decimal, with optional blanks around it and an optional sign; nothing else.
std::optional<std::int64_t> parseInteger(std::string_view text);
// A decimal number (optional sign, digits, optional fraction), with optional blanks around it; nothing else.
std::optional<double> parseNumber(std::string_view text);
// A number as the windows show it: whole values without a fraction ("240"), others with up to 15 digits.
std::string formatNumber(double value);

// Every occurrence of `from` replaced by `to`, scanning left to right.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);
// Each character followed by one blank ("123" -> "1 2 3 "); UTF-8 sequences count as one character.
std::string spellOut(std::string_view text);
// The first `count` characters of UTF-8 text (never splitting a character).
std::string firstCharacters(std::string_view text, std::size_t count);
// The number of characters of UTF-8 text.
std::size_t characterCount(std::string_view text);
// The last `count` characters of UTF-8 text.
std::string lastCharacters(std::string_view text, std::size_t count);

bool startsWith(std::string_view text, std::string_view prefix);
bool endsWith(std::string_view text, std::string_view suffix);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
// The text with its ASCII letters in lower or upper case.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);
// The items as a sentence lists them: "a", "a or b", "a, b or c".
std::string orList(const std::vector<std::string>& items);

}  // namespace qm
