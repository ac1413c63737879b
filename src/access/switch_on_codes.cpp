#include "access/switch_on_codes.h"

#include <cctype>

#include "access/one_time_code_backend.h"

namespace qm {

SwitchOnCodes::Result SwitchOnCodes::attempt(const std::string& code, TimePoint now) {
  if (lockedUntil_ && now < *lockedUntil_) return {Outcome::LockedOut, wrongInARow_, *lockedUntil_};
  lockedUntil_.reset();

  bool wellFormed = code.size() == 6;
  for (char c : code) wellFormed = wellFormed && std::isdigit(static_cast<unsigned char>(c));
  std::optional<std::uint64_t> step;
  if (wellFormed) {
    auto unixTime = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    step = backend_.matchStep(secret_, unixTime, window_, code);
  }
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
