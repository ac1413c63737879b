#include "platform/clock_format.h"

#include <cstdio>
#include <ctime>

namespace qm {
namespace {

std::tm local(Scheduler::TimePoint t) {
  std::time_t secs = Scheduler::Clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  return tm;
}

std::string format(Scheduler::TimePoint t, const char* fmt) {
  std::tm tm = local(t);
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
  return std::string(buf, n);
}

}  // namespace

std::string formatShortDate(Scheduler::TimePoint t) {
  return format(t, "%x");
}
std::string formatLongTime(Scheduler::TimePoint t) {
  return format(t, "%X");
}
std::string formatDateTime(Scheduler::TimePoint t) {
  return format(t, "%x %X");
}

std::string formatStamp(Scheduler::TimePoint t) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s.%03d", format(t, "%H:%M:%S").c_str(), static_cast<int>(ms));
  return buf;
}

bool parseLocalDateTime(const std::string& text, Scheduler::TimePoint& out) {
  std::tm tm{};
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return false;
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  std::time_t secs = std::mktime(&tm);
  if (secs == -1) return false;
  out = Scheduler::Clock::from_time_t(secs);
  return true;
}

}  // namespace qm
