#pragma once
// Collects the DTMF digits heard on the receiver into the strings the program gets as DTMFString.
//
// Digits heard while the carrier is present make one string, raised when the carrier drops. A digit decoded shortly
// before the carrier is seen (a VOX squelch opens only after its attack time, while the first tone is already being
// decoded) belongs to the string that carrier starts. When the carrier stays up, the digits are raised as a string
// once `timeout` has passed without a new digit, like the interdigit timer of a repeater controller: a string whose
// carrier never drops is acted on, not lost; digits after that start a new string. A zero timeout waits for the drop.
#include <chrono>
#include <optional>
#include <string>

namespace qm::radio {

class DtmfCollector {
 public:
  using Clock = std::chrono::steady_clock;
  // How long before the carrier a digit may arrive and still count.
  static constexpr std::chrono::milliseconds kEarlyDigit{300};

  explicit DtmfCollector(std::chrono::milliseconds timeout) : timeout_(timeout) {}

  void digit(char d, Clock::time_point now);
  // The carrier came up or went; when it went, the collected string (if any) is returned for raising.
  std::optional<std::string> carrier(bool on, Clock::time_point now);
  // Called now and then while the carrier is up: the string to raise when the time-out has run out.
  std::optional<std::string> poll(Clock::time_point now);

  const std::string& pending() const { return digits_; }
  bool carrierUp() const { return carrier_; }

 private:
  std::chrono::milliseconds timeout_;
  bool carrier_ = false;
  std::string digits_;
  Clock::time_point lastDigit_{};
};

}  // namespace qm::radio
