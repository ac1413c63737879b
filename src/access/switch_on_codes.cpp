#include "access/switch_on_codes.h"

#include <cctype>

#include "access/one_time_code_backend.h"

namespace qm {

std::optional<std::uint64_t> SwitchOnCodes::stepOf(const std::string& code, TimePoint now) {
  bool wellFormed = code.size() == 6;
  for (char c : code) wellFormed = wellFormed && std::isdigit(static_cast<unsigned char>(c));
  if (!wellFormed) return std::nullopt;
  auto unixTime = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  return backend_.matchStep(secret_, unixTime, window_, code);
}

bool SwitchOnCodes::take(const std::string& code, TimePoint now) {
  std::optional<std::uint64_t> step = stepOf(code, now);
  if (!step || (lastStep_ && *step <= *lastStep_)) return false;
  lastStep_ = step;
  return true;
}

SwitchOnCodes::Result SwitchOnCodes::attempt(const std::string& code, TimePoint now) {
  if (lockedUntil_ && now < *lockedUntil_) return {Outcome::LockedOut, wrongInARow_, *lockedUntil_};
  lockedUntil_.reset();

  std::optional<std::uint64_t> step = stepOf(code, now);
  Outcome outcome = Outcome::Wrong;
  if (step && (!lastStep_ || *step > *lastStep_)) {
    lastStep_ = step;
    wrongInARow_ = 0;
    return {Outcome::Accepted, 0, {}};
  }
  if (step) outcome = Outcome::Replayed;  // a code of a step already taken, or of an earlier one
  if (++wrongInARow_ >= wrongAllowed_) {
    lockedUntil_ = now + lockout_;
    int wrong = wrongInARow_;
    wrongInARow_ = 0;
    return {Outcome::NowLockedOut, wrong, *lockedUntil_};
  }
  return {outcome, wrongInARow_, {}};
}

}  // namespace qm
