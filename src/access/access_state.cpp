#include "access/access_state.h"

#include <algorithm>

#include "platform/profile_file.h"
#include "platform/vb_text.h"

namespace qm {

namespace {

using TimePoint = AccessState::TimePoint;

std::int64_t unixSeconds(TimePoint t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

TimePoint fromUnix(std::int64_t s) {
  return TimePoint(std::chrono::seconds(s));
}

// A value that must be a whole number from 0 to `max`; nothing when it is not.
std::optional<std::int64_t> number(const ProfileFile& file, const char* section, const std::string& key,
                                   std::int64_t max) {
  auto text = file.get(section, key);
  if (!text) return std::nullopt;
  auto v = parseInteger(*text);
  if (!v || *v < 0 || *v > max) return std::nullopt;
  return v;
}

}  // namespace

LoadedAccessState readAccessState(const std::filesystem::path& path, TimePoint now,
                                  std::chrono::minutes longestLockout) {
  LoadedAccessState out;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) && !ec) return out;
  ProfileFile file = ProfileFile::load(path);
  auto bad = [&](const std::string& why) {
    out.state = {};
    out.problem = path.string() + " cannot be used (" + why + ")";
    return out;
  };
  if (!file.readProblem().empty()) return bad(file.readProblem());
  // Well beyond any clock this program runs under, and small enough that no sum overflows.
  constexpr std::int64_t kLatest = std::int64_t{1} << 40;
  auto count = number(file, "CALLS", "Count", AccessState::kCallsKept);
  if (!count) return bad("[CALLS] Count is not a number from 0 to " + std::to_string(AccessState::kCallsKept));
  for (std::int64_t i = 1; i <= *count; ++i) {
    auto at = number(file, "CALLS", "Call" + std::to_string(i), kLatest);
    if (!at) return bad("[CALLS] Call" + std::to_string(i) + " is not a time");
    out.state.calls.push_back(std::min(fromUnix(*at), now));
  }
  if (file.get("CALLS", "Older")) {
    auto older = number(file, "CALLS", "Older", 100000);
    auto olderAt = number(file, "CALLS", "OlderAt", kLatest);
    if (!older || !olderAt) return bad("[CALLS] Older or OlderAt is not a number");
    out.state.calls.insert(out.state.calls.begin(), static_cast<std::size_t>(*older),
                           std::min(fromUnix(*olderAt), now));
  }
  std::sort(out.state.calls.begin(), out.state.calls.end());
  auto wrong = number(file, "CODES", "WrongInARow", 1000);
  if (!wrong) return bad("[CODES] WrongInARow is not a number from 0 to 1000");
  out.state.wrongInARow = static_cast<int>(*wrong);
  if (file.get("CODES", "LockedUntil")) {
    auto until = number(file, "CODES", "LockedUntil", kLatest);
    if (!until) return bad("[CODES] LockedUntil is not a time");
    out.state.lockedUntil = std::min(fromUnix(*until), now + longestLockout);
  }
  return out;
}

std::optional<std::string> writeAccessState(const std::filesystem::path& path, const AccessState& state) {
  ProfileFile file = ProfileFile::parse(
      "; What access control keeps between runs: calls of the last hour, the "
      "switch-on code's lock-out.\r\n");
  std::size_t kept = std::min(state.calls.size(), AccessState::kCallsKept);
  std::size_t older = state.calls.size() - kept;
  if (older > 0) {
    file.write("CALLS", "Older", std::to_string(older));
    file.write("CALLS", "OlderAt", std::to_string(unixSeconds(state.calls[older - 1])));
  }
  file.write("CALLS", "Count", std::to_string(kept));
  for (std::size_t i = 0; i < kept; ++i)
    file.write("CALLS", "Call" + std::to_string(i + 1), std::to_string(unixSeconds(state.calls[older + i])));
  file.write("CODES", "WrongInARow", std::to_string(state.wrongInARow));
  if (state.lockedUntil) file.write("CODES", "LockedUntil", std::to_string(unixSeconds(*state.lockedUntil)));
  return file.save(path, 0600);
}

}  // namespace qm
