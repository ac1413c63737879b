#pragma once
// Dates and times as the program shows them, in the process's LC_TIME locale (the C locale in scenario runs).
#include <string>

#include "platform/scheduler.h"

namespace qm {

std::string formatShortDate(Scheduler::TimePoint t);  // the locale's short date (%x)
std::string formatLongTime(Scheduler::TimePoint t);   // the locale's long time (%X)
std::string formatDateTime(Scheduler::TimePoint t);   // date and time together, as a general date-time value
std::string formatStamp(Scheduler::TimePoint t);      // HH:MM:SS.mmm, for the transcript
// "YYYY-MM-DD HH:MM:SS" in local time; nothing on a malformed text.
bool parseLocalDateTime(const std::string& text, Scheduler::TimePoint& out);

}  // namespace qm
