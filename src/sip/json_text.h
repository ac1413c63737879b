#pragma once
// The little JSON that the user agent's control channel speaks: one object per message whose members are strings,
// booleans, numbers or null. Nested objects and arrays are read over and kept as their raw text. Also the quoting of
// a string for a command.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

struct JsonValue {
  enum class Kind { String, Boolean, Number, Null, Nested };
  Kind kind = Kind::Null;
  std::string text;  // the string's characters (escapes resolved), the number as written, or the nested raw text
  bool boolean = false;
};

class JsonObject {
 public:
  // The members of one JSON object (blanks around it allowed); nothing when the text is not one, with `problem` set.
  static std::optional<JsonObject> parse(std::string_view text, std::string* problem = nullptr);

  const JsonValue* find(const std::string& name) const;
  // A string member's text; empty when absent or not a string.
  std::string text(const std::string& name) const;
  // True for the boolean true, and for the string "true" that some senders write instead.
  bool flag(const std::string& name) const;

  std::map<std::string, JsonValue> members;
};

// `text` as a JSON string literal, quotes included; control characters and non-ASCII bytes that are not UTF-8 are
// escaped so the result is always valid.
std::string jsonQuote(std::string_view text);

}  // namespace qm
