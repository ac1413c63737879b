#include "web/history_statistics.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "sip/json_text.h"

namespace qm::web {

namespace {

struct Stamp {
  std::int64_t day = 0;  // days since 1970-01-01
  int hour = 0;
  std::int64_t second = 0;  // seconds since 1970-01-01 00:00, in the log's local time
};

int number(std::string_view text, std::size_t at, std::size_t digits) {
  int value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::optional<Stamp> parseStamp(std::string_view text) {
  if (text.size() < 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  const int y = number(text, 0, 4), mo = number(text, 5, 2), d = number(text, 8, 2);
  const int h = number(text, 11, 2), mi = number(text, 14, 2), s = number(text, 17, 2);
  if (y < 0 || mo < 0 || d < 0 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(mo)),
                                         std::chrono::day(static_cast<unsigned>(d))};
  if (!date.ok()) return std::nullopt;
  Stamp stamp;
  stamp.day = std::chrono::sys_days(date).time_since_epoch().count();
  stamp.hour = h;
  stamp.second = (stamp.day * 24 + h) * 3600 + mi * 60 + s;
  return stamp;
}

std::string dayText(std::int64_t day) {
  const std::chrono::year_month_day date{std::chrono::sys_days(std::chrono::days(day))};
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()));
  return text;
}

bool startsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

}  // namespace

HistoryStatistics countHistory(std::string_view log, std::string_view now) {
  HistoryStatistics out;
  const auto at = parseStamp(now);
  if (!at) return out;
  const std::int64_t nowHour = at->day * 24 + at->hour;
  for (int i = 0; i < 24; ++i) {
    const std::int64_t hour = nowHour - 23 + i;
    char h[8];
    std::snprintf(h, sizeof h, " %02d:00", static_cast<int>(hour % 24));
    out.hours.emplace_back().start = dayText(hour / 24) + h;
  }
  for (int i = 0; i < 14; ++i) out.days.emplace_back().start = dayText(at->day - 13 + i);
  std::optional<Stamp> carrierSince;
  auto each = [&](const Stamp& s, auto&& count) {
    const std::int64_t hour = nowHour - (s.day * 24 + s.hour), day = at->day - s.day;
    if (hour >= 0 && hour < 24) count(out.hours[static_cast<std::size_t>(23 - hour)]);
    if (day >= 0 && day < 14) count(out.days[static_cast<std::size_t>(13 - day)]);
  };
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string_view::npos) end = log.size();
    std::string_view line = log.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto stamp = parseStamp(line);
    if (!stamp || line.size() < 21) continue;
    const std::string_view event = line.substr(20);
    if (startsWith(event, "RF Received -- ")) {
      carrierSince = stamp;
    } else if (startsWith(event, "RF Ended -- ")) {
      if (!carrierSince || stamp->second < carrierSince->second) continue;
      const std::int64_t seconds = stamp->second - carrierSince->second;
      each(*carrierSince, [&](StatisticsBucket& b) {
        ++b.carriers;
        b.carrierSeconds += seconds;
        if (seconds < kKerchunkSeconds) ++b.kerchunks;
      });
      carrierSince.reset();
    } else if (startsWith(event, "TX -- ")) {
      // Counted in the hour it was keyed; a keying longer than a day is no keying the node makes.
      const std::size_t unit = event.find(" s -- ");
      if (unit == std::string_view::npos || unit < 7 || unit > 20) continue;
      const std::string text(event.substr(6, unit - 6));
      char* end = nullptr;
      const double seconds = std::strtod(text.c_str(), &end);
      if (end != text.c_str() + text.size() || !(seconds >= 0 && seconds <= 86400)) continue;
      Stamp keyed = *stamp;
      keyed.second -= static_cast<std::int64_t>(seconds);
      keyed.day = keyed.second / 86400;
      keyed.hour = static_cast<int>(keyed.second / 3600 % 24);
      each(keyed, [&](StatisticsBucket& b) {
        ++b.transmissions;
        b.transmitSeconds += seconds;
      });
    } else if (startsWith(event, "DTMF -- ")) {
      each(*stamp, [](StatisticsBucket& b) { ++b.dtmfStrings; });
    } else if (startsWith(event, "Call to ")) {
      const std::size_t dash = event.find(" -- ");
      if (dash == std::string_view::npos) continue;
      std::string_view result = event.substr(dash + 4);
      result = result.substr(0, result.find(" -- "));
      if (result.empty() || result.size() > 40) continue;
      each(*stamp, [&](StatisticsBucket& b) {
        if (b.calls.size() < kMaxResults || b.calls.count(std::string(result))) ++b.calls[std::string(result)];
      });
    } else if (const std::size_t mark = event.find(" Connected - "); mark != std::string_view::npos && mark <= 20) {
      const std::string call(event.substr(0, mark));
      if (call.find(' ') != std::string::npos) continue;
      each(*stamp, [&](StatisticsBucket& b) {
        ++b.connects;
        if (b.stations.size() < kMaxStations) b.stations.insert(call);
      });
    }
  }
  return out;
}

std::string statisticsJson(const HistoryStatistics& statistics) {
  auto buckets = [](const std::vector<StatisticsBucket>& list) {
    std::string text = "[";
    for (const StatisticsBucket& b : list) {
      if (text.size() > 1) text += ",";
      char transmit[32];
      std::snprintf(transmit, sizeof transmit, "%.1f", b.transmitSeconds);
      text += "{\"start\":\"" + b.start + "\",\"carrierSeconds\":" + std::to_string(b.carrierSeconds) +
              ",\"transmitSeconds\":" + transmit + ",\"transmissions\":" + std::to_string(b.transmissions) +
              ",\"carriers\":" + std::to_string(b.carriers) + ",\"kerchunks\":" + std::to_string(b.kerchunks) +
              ",\"connects\":" + std::to_string(b.connects) + ",\"dtmfStrings\":" + std::to_string(b.dtmfStrings) +
              ",\"stations\":[";
      bool first = true;
      for (const std::string& s : b.stations) text += (std::exchange(first, false) ? "" : ",") + jsonQuote(s);
      text += "],\"calls\":{";
      first = true;
      for (const auto& [result, count] : b.calls)
        text += (std::exchange(first, false) ? "" : ",") + jsonQuote(result) + ":" + std::to_string(count);
      text += "}}";
    }
    return text + "]";
  };
  return "{\"hours\":" + buckets(statistics.hours) + ",\"days\":" + buckets(statistics.days) + "}";
}

}  // namespace qm::web
