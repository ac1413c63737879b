#include "radio/dtmf_collector.h"

namespace qm::radio {

void DtmfCollector::digit(char d, Clock::time_point now) {
  // A digit with no carrier is kept only briefly, for a carrier about to be seen; an older one is noise.
  if (!carrier_ && !digits_.empty() && now - lastDigit_ > kEarlyDigit) digits_.clear();
  digits_ += d;
  lastDigit_ = now;
}

std::optional<std::string> DtmfCollector::carrier(bool on, Clock::time_point now) {
  if (on == carrier_) return std::nullopt;
  carrier_ = on;
  if (on) {
    if (!digits_.empty() && now - lastDigit_ > kEarlyDigit) digits_.clear();
    return std::nullopt;
  }
  if (digits_.empty()) return std::nullopt;
  std::string out;
  out.swap(digits_);
  return out;
}

std::optional<std::string> DtmfCollector::poll(Clock::time_point now) {
  if (!carrier_ || digits_.empty() || timeout_.count() <= 0 || now - lastDigit_ < timeout_) return std::nullopt;
  std::string out;
  out.swap(digits_);
  return out;
}

}  // namespace qm::radio
