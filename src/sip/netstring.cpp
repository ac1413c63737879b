#include "sip/netstring.h"

namespace qm {

std::string netstring(std::string_view payload) {
  std::string out = std::to_string(payload.size());
  out += ':';
  out.append(payload);
  out += ',';
  return out;
}

void NetstringReader::reset() {
  buffer_.clear();
  problem_.clear();
}

std::vector<std::string> NetstringReader::feed(std::string_view bytes) {
  std::vector<std::string> frames;
  if (failed()) return frames;
  buffer_.append(bytes);
  std::size_t pos = 0;
  for (;;) {
    // The length: at least one digit, no leading zero unless it is the only digit.
    std::size_t colon = pos;
    std::size_t length = 0;
    while (colon < buffer_.size() && buffer_[colon] >= '0' && buffer_[colon] <= '9') {
      length = length * 10 + static_cast<std::size_t>(buffer_[colon] - '0');
      if (length > kMaxFrame) {
        problem_ = "a message longer than " + std::to_string(kMaxFrame) + " bytes";
        break;
      }
      ++colon;
    }
    if (failed()) break;
    if (colon == buffer_.size()) {
      if (colon - pos > 9) problem_ = "a length with too many digits";
      break;  // the length is not complete yet
    }
    if (colon == pos || buffer_[colon] != ':') {
      problem_ = "expected a length and ':'";
      break;
    }
    if (colon - pos > 1 && buffer_[pos] == '0') {
      problem_ = "a length with a leading zero";
      break;
    }
    std::size_t end = colon + 1 + length;
    if (end >= buffer_.size()) break;  // the message or its comma has not arrived yet
    if (buffer_[end] != ',') {
      problem_ = "a message not ended by ','";
      break;
    }
    frames.push_back(buffer_.substr(colon + 1, length));
    pos = end + 1;
  }
  if (failed())
    buffer_.clear();
  else
    buffer_.erase(0, pos);
  return frames;
}

}  // namespace qm
