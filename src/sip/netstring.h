#pragma once
// Netstring framing, as the user agent's control channel uses it: each message is its length in decimal, a colon,
// the bytes, and a comma ("5:hello,"). The reader takes the stream in whatever pieces the socket delivers.
#include <string>
#include <string_view>
#include <vector>

namespace qm {

std::string netstring(std::string_view payload);

class NetstringReader {
 public:
  // Larger frames are taken for a broken stream: no message of the channel comes near this.
  static constexpr std::size_t kMaxFrame = 1 << 20;

  // Adds received bytes and returns the messages they complete, in order. After a malformed frame the reader has
  // failed: it returns nothing more until reset, since the stream cannot be resynchronised.
  std::vector<std::string> feed(std::string_view bytes);
  bool failed() const { return !problem_.empty(); }
  const std::string& problem() const { return problem_; }
  // A new connection: forget what was buffered and any failure.
  void reset();

 private:
  std::string buffer_;
  std::string problem_;
};

}  // namespace qm
