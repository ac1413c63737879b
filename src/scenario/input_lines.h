#pragma once
// Lines from a stream of bytes that may never end one (standard input from /dev/zero): a line is kept up to a limit,
// the rest of an overlong line is skipped, and each new piece is searched only for its own line breaks, so the work
// and the memory stay in proportion to what a command can be.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Far above any command the program takes (a station text of 32,767 characters, four bytes each at most).
constexpr std::size_t kInputLineLimit = 256 * 1024;

class InputLines {
 public:
  explicit InputLines(std::size_t limit = kInputLineLimit) : limit_(limit) {}

  struct Taken {
    std::vector<std::string> lines;  // complete lines, without "\n" or "\r\n"
    int overlong = 0;                // lines that passed the limit and were skipped from here on
  };
  Taken take(std::string_view bytes);
  std::size_t buffered() const { return partial_.size(); }

 private:
  std::size_t limit_;
  std::string partial_;
  bool skipping_ = false;  // inside an overlong line: everything up to its end is dropped
};

}  // namespace qm
