#pragma once
// What access control keeps between runs, in the state folder (quillmere_access.ini): the calls placed in the last
// hour and the switch-on code's wrong attempts and lock-out, so that neither a restart nor a crash resets them.
// Times are Unix seconds. The file is small and bounded: at most kCallsKept calls are kept one by one, and older ones
// of the same hour as one count at the time of the newest of them (later than they were placed: never fewer calls).
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qm {

struct AccessState {
  using TimePoint = std::chrono::system_clock::time_point;
  static constexpr std::size_t kCallsKept = 100;

  std::vector<TimePoint> calls;  // oldest first
  int wrongInARow = 0;
  std::optional<TimePoint> lockedUntil;
};

struct LoadedAccessState {
  AccessState state;
  // Why the file cannot be trusted, naming it; empty when it was read (or is missing: nothing was kept yet).
  std::string problem;
};

// Reads the file, checking every value. Times after `now` (a clock set back) count as `now`; a lock-out is never
// longer than `longestLockout` from now.
LoadedAccessState readAccessState(const std::filesystem::path& path, AccessState::TimePoint now,
                                  std::chrono::minutes longestLockout);
// Replaces the file atomically; on failure, a message naming the file and the reason.
std::optional<std::string> writeAccessState(const std::filesystem::path& path, const AccessState& state);

}  // namespace qm
