#include "scenario/text_pattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "scenario/script.h"

namespace qm {

namespace {

// ECMAScript's reading of a pattern: `$` only at the very end, `.` matching neither CR nor LF, \uhhhh and \xhh,
// `[]` and `[^]` allowed; UTF-8 texts, with bytes that are not UTF-8 simply never matching a character.
constexpr uint32_t kOptions = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_BSUX |
                              PCRE2_ALLOW_EMPTY_CLASS | PCRE2_NEVER_BACKSLASH_C;
// Backtracking depth and memory for the interpreter, and the JIT's stack: a group repeated over half a megabyte of
// text still matches; beyond, the search gives up rather than grow further.
constexpr uint32_t kDepthLimit = 1'000'000;
constexpr uint32_t kHeapLimitKiB = 256 * 1024;
constexpr std::size_t kJitStackBytes = 16 * 1024 * 1024;

}  // namespace

struct TextPattern::Compiled {
  pcre2_compile_context* compileContext = nullptr;
  pcre2_code* code = nullptr;
  pcre2_match_context* matchContext = nullptr;
  pcre2_jit_stack* jitStack = nullptr;
  ~Compiled() {
    pcre2_jit_stack_free(jitStack);
    pcre2_match_context_free(matchContext);
    pcre2_code_free(code);
    pcre2_compile_context_free(compileContext);
  }
};

TextPattern::TextPattern(const std::string& pattern) : compiled_(std::make_unique<Compiled>()) {
  Compiled& c = *compiled_;
  c.compileContext = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(c.compileContext, PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  c.code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), kOptions, &error, &offset,
                         c.compileContext);
  if (!c.code) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    throw ScriptError("not a regular expression: " + pattern + " (" + reinterpret_cast<const char*>(message) +
                      " at character " + std::to_string(offset + 1) + ")");
  }
  c.matchContext = pcre2_match_context_create(nullptr);
  pcre2_set_match_limit(c.matchContext, kMatchLimit);
  pcre2_set_depth_limit(c.matchContext, kDepthLimit);
  pcre2_set_heap_limit(c.matchContext, kHeapLimitKiB);
  // Without JIT (a platform PCRE2 does not compile for) the interpreter runs under the same limits.
  if (pcre2_jit_compile(c.code, PCRE2_JIT_COMPLETE) == 0) {
    c.jitStack = pcre2_jit_stack_create(32 * 1024, kJitStackBytes, nullptr);
    if (c.jitStack) pcre2_jit_stack_assign(c.matchContext, nullptr, c.jitStack);
  }
}

TextPattern::~TextPattern() = default;

TextPattern::Result TextPattern::search(const std::string& text) const {
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(compiled_->code, nullptr);
  if (!data) return Result::GaveUp;
  int rc = pcre2_match(compiled_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, data,
                       compiled_->matchContext);
  pcre2_match_data_free(data);
  if (rc >= 0) return Result::Match;
  return rc == PCRE2_ERROR_NOMATCH ? Result::NoMatch : Result::GaveUp;
}

}  // namespace qm
