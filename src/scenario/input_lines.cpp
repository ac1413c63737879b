#include "scenario/input_lines.h"

namespace qm {

InputLines::Taken InputLines::take(std::string_view bytes) {
  Taken taken;
  while (!bytes.empty()) {
    std::size_t nl = bytes.find('\n');
    std::string_view piece = bytes.substr(0, nl);
    if (!skipping_) {
      if (partial_.size() + piece.size() > limit_) {
        partial_.clear();
        skipping_ = true;
        ++taken.overlong;
      } else {
        partial_.append(piece);
      }
    }
    if (nl == std::string_view::npos) break;
    if (!skipping_) {
      if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
      taken.lines.push_back(std::move(partial_));
    }
    partial_.clear();
    skipping_ = false;
    bytes.remove_prefix(nl + 1);
  }
  return taken;
}

}  // namespace qm
