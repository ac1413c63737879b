#include "sip/json_text.h"

#include <cstdio>

#include "skype/api_text.h"

namespace qm {
namespace {

constexpr int kMaxDepth = 32;

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  bool object(JsonObject& out) {
    blanks();
    if (!take('{')) return fail("expected an object");
    blanks();
    if (take('}')) return end();
    for (;;) {
      blanks();
      std::string name;
      if (!string(name)) return false;
      blanks();
      if (!take(':')) return fail("expected ':' after a member name");
      blanks();
      JsonValue v;
      if (!value(v, 1)) return false;
      out.members.insert_or_assign(name, std::move(v));
      blanks();
      if (take(',')) continue;
      if (take('}')) return end();
      return fail("expected ',' or '}'");
    }
  }

  std::string problem;

 private:
  bool end() {
    blanks();
    if (i_ != s_.size()) return fail("text after the object");
    return true;
  }
  bool fail(const std::string& why) {
    if (problem.empty()) problem = why + " at offset " + std::to_string(i_);
    return false;
  }
  void blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool take(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  bool value(JsonValue& v, int depth) {
    if (depth > kMaxDepth) return fail("nested too deeply");
    if (i_ >= s_.size()) return fail("expected a value");
    char c = s_[i_];
    if (c == '"') {
      v.kind = JsonValue::Kind::String;
      return string(v.text);
    }
    if (word("true")) {
      v.kind = JsonValue::Kind::Boolean;
      v.boolean = true;
      return true;
    }
    if (word("false")) {
      v.kind = JsonValue::Kind::Boolean;
      v.boolean = false;
      return true;
    }
    if (word("null")) {
      v.kind = JsonValue::Kind::Null;
      return true;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.kind = JsonValue::Kind::Number;
      return number(v.text);
    }
    if (c == '{' || c == '[') {
      v.kind = JsonValue::Kind::Nested;
      std::size_t from = i_;
      if (!nested(depth)) return false;
      v.text = std::string(s_.substr(from, i_ - from));
      return true;
    }
    return fail("expected a value");
  }

  // An object or array read over, checking its syntax.
  bool nested(int depth) {
    char open = s_[i_++];
    char close = open == '{' ? '}' : ']';
    blanks();
    if (take(close)) return true;
    for (;;) {
      blanks();
      if (open == '{') {
        std::string name;
        if (!string(name)) return false;
        blanks();
        if (!take(':')) return fail("expected ':' after a member name");
        blanks();
      }
      JsonValue inner;
      if (!value(inner, depth + 1)) return false;
      blanks();
      if (take(',')) continue;
      if (take(close)) return true;
      return fail(std::string("expected ',' or '") + close + "'");
    }
  }

  bool number(std::string& out) {
    std::size_t from = i_;
    take('-');
    std::size_t digits = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    if (i_ == digits) return fail("expected digits");
    if (take('.')) {
      std::size_t f = i_;
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
      if (i_ == f) return fail("expected digits after '.'");
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (!take('+')) take('-');
      std::size_t e = i_;
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
      if (i_ == e) return fail("expected an exponent");
    }
    out = std::string(s_.substr(from, i_ - from));
    return true;
  }

  static void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool hex4(unsigned& code) {
    if (i_ + 4 > s_.size()) return fail("short \\u escape");
    code = 0;
    for (int k = 0; k < 4; ++k) {
      char h = s_[i_++];
      code <<= 4;
      if (h >= '0' && h <= '9')
        code |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f')
        code |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        code |= static_cast<unsigned>(h - 'A' + 10);
      else
        return fail("bad \\u escape");
    }
    return true;
  }

  bool string(std::string& out) {
    if (!take('"')) return fail("expected a string");
    std::string raw;
    for (;;) {
      if (i_ >= s_.size()) return fail("unterminated string");
      char c = s_[i_++];
      if (c == '"') break;
      if (static_cast<unsigned char>(c) < 0x20) return fail("control character in a string");
      if (c != '\\') {
        raw += c;
        continue;
      }
      if (i_ >= s_.size()) return fail("unterminated string");
      char e = s_[i_++];
      switch (e) {
        case '"':
          raw += '"';
          break;
        case '\\':
          raw += '\\';
          break;
        case '/':
          raw += '/';
          break;
        case 'b':
          raw += '\b';
          break;
        case 'f':
          raw += '\f';
          break;
        case 'n':
          raw += '\n';
          break;
        case 'r':
          raw += '\r';
          break;
        case 't':
          raw += '\t';
          break;
        case 'u': {
          unsigned code = 0;
          if (!hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF && s_.substr(i_, 2) == "\\u") {
            std::size_t back = i_;
            i_ += 2;
            unsigned low = 0;
            if (!hex4(low)) return false;
            if (low >= 0xDC00 && low <= 0xDFFF) {
              code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            } else {
              i_ = back;  // a lone high surrogate: replaced below, the next escape read on its own
            }
          }
          if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
          appendUtf8(raw, code);
          break;
        }
        default:
          return fail("bad escape");
      }
    }
    out = toValidUtf8(raw);
    return true;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

std::optional<JsonObject> JsonObject::parse(std::string_view text, std::string* problem) {
  Parser p(text);
  JsonObject o;
  if (!p.object(o)) {
    if (problem) *problem = p.problem;
    return std::nullopt;
  }
  return o;
}

const JsonValue* JsonObject::find(const std::string& name) const {
  auto it = members.find(name);
  return it == members.end() ? nullptr : &it->second;
}

std::string JsonObject::text(const std::string& name) const {
  const JsonValue* v = find(name);
  return v && v->kind == JsonValue::Kind::String ? v->text : std::string();
}

bool JsonObject::flag(const std::string& name) const {
  const JsonValue* v = find(name);
  if (!v) return false;
  if (v->kind == JsonValue::Kind::Boolean) return v->boolean;
  return v->kind == JsonValue::Kind::String && v->text == "true";
}

std::string jsonQuote(std::string_view text) {
  std::string valid = toValidUtf8(std::string(text));
  std::string out = "\"";
  for (char c : valid) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace qm
