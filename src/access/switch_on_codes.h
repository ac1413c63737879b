#pragma once
// The switch-on code followed by a time-based one-time code: each code is taken once (a code overheard on the air is
// useless afterwards), wrong codes in a row are counted, and after too many the codes are not even tried for a while.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qm {

class OneTimeCodeBackend;

class SwitchOnCodes {
 public:
  using TimePoint = std::chrono::system_clock::time_point;

  enum class Outcome { Accepted, Wrong, Replayed, LockedOut, NowLockedOut };
  struct Result {
    Outcome outcome;
    int wrongInARow = 0;  // after this attempt
    TimePoint lockedUntil{};
  };

  SwitchOnCodes(OneTimeCodeBackend& backend, std::string secret, int wrongAllowed, std::chrono::minutes lockout,
                unsigned window)
      : backend_(backend),
        secret_(std::move(secret)),
        wrongAllowed_(wrongAllowed),
        lockout_(lockout),
        window_(window) {}

  // `code` is what followed the switch-on code (empty when nothing did).
  Result attempt(const std::string& code, TimePoint now);
  // A caller's code after the PIN: taken once, as a switch-on code is (the steps are shared, so one code serves once),
  // but neither counted nor refused by the switch-on code's lock-out: a caller who knows the PIN must not be able to
  // lock radio users out of switching control on. The caller's own wrong codes count as wrong PINs.
  bool take(const std::string& code, TimePoint now);

  // The last time step taken: kept across restarts so that a code cannot be replayed after one.
  std::optional<std::uint64_t> lastStep() const { return lastStep_; }
  void setLastStep(std::optional<std::uint64_t> step) { lastStep_ = step; }
  // The wrong codes in a row and the lock-out, kept across a restart and a change of the settings.
  int wrongInARow() const { return wrongInARow_; }
  std::optional<TimePoint> lockedUntil() const { return lockedUntil_; }
  void restore(int wrongInARow, std::optional<TimePoint> lockedUntil) {
    wrongInARow_ = wrongInARow;
    lockedUntil_ = lockedUntil;
  }

 private:
  // The step whose code `code` is, if it is a well-formed code of a step within the window.
  std::optional<std::uint64_t> stepOf(const std::string& code, TimePoint now);

  OneTimeCodeBackend& backend_;
  std::string secret_;
  int wrongAllowed_;
  std::chrono::minutes lockout_;
  unsigned window_;
  std::optional<std::uint64_t> lastStep_;
  int wrongInARow_ = 0;
  std::optional<TimePoint> lockedUntil_;
};

}  // namespace qm
