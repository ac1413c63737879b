#pragma once
// The Statistics page's counts, read from the history log's text (lines "YYYY-MM-DD HH:MM:SS EVENT"), by hour for
// the last 24 hours and by day for the last 14 days, newest last. The one place the log's events are interpreted:
//   "RF Received -- ..." / "RF Ended -- ..."   a carrier and how long it lasted; under kKerchunkSeconds a kerchunk
//   "CALL Connected - ..."                      a station connected
//   "DTMF -- DIGITS -- ..."                     a DTMF string
//   "Call to X -- RESULT[ -- N s]"              a phone call and its result
//   "TX -- N s -- BY"                           a keying of the transmitter that has ended, N seconds long
// Times are the log's own local times; lines that fit none of these, or that are older or malformed, are skipped.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qm::web {

struct StatisticsBucket {
  std::string start;  // "YYYY-MM-DD HH:00" or "YYYY-MM-DD"
  std::int64_t carrierSeconds = 0;
  double transmitSeconds = 0;
  std::uint64_t transmissions = 0;
  std::uint64_t carriers = 0, kerchunks = 0, connects = 0, dtmfStrings = 0;
  std::set<std::string> stations;              // at most kMaxStations callsigns
  std::map<std::string, std::uint64_t> calls;  // by result
};

struct HistoryStatistics {
  std::vector<StatisticsBucket> hours, days;  // 24 and 14, oldest first
};

inline constexpr int kKerchunkSeconds = 2;
inline constexpr std::size_t kMaxStations = 200;
inline constexpr std::size_t kMaxResults = 20;

// Counts the log's text as of `now`, given as the log's own "YYYY-MM-DD HH:MM:SS".
HistoryStatistics countHistory(std::string_view log, std::string_view now);
std::string statisticsJson(const HistoryStatistics& statistics);

}  // namespace qm::web
