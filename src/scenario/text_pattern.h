#pragma once
// The scenario language's `~`: an ECMAScript regular expression searched for in a text, matched by PCRE2 (with its
// ECMAScript-like options) under limits, so that a nested quantifier or a long text gives an answer in bounded time
// and memory instead of a crash or a stall.
#include <memory>
#include <string>

namespace qm {

class TextPattern {
 public:
  enum class Result { Match, NoMatch, GaveUp };
  // The steps a search may take before it gives up; far beyond what any scenario's pattern needs.
  static constexpr unsigned kMatchLimit = 10'000'000;

  // Throws ScriptError naming the pattern and what is wrong with it.
  explicit TextPattern(const std::string& pattern);
  ~TextPattern();
  TextPattern(const TextPattern&) = delete;
  TextPattern& operator=(const TextPattern&) = delete;

  // Whether `text` contains a match; GaveUp when the limits were reached first.
  Result search(const std::string& text) const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

}  // namespace qm
