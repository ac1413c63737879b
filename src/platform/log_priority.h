#pragma once
// Priorities for the lines the program writes on standard error. Under systemd, when standard error is the journal's
// stream (JOURNAL_STREAM names its device and inode), every line starts with its syslog priority: "<3>" an error,
// "<4>" a warning, "<6>" information, so that `journalctl -p warning` shows the problems and nothing else. A line
// written without a priority of its own is a warning there: what goes to standard error is mostly trouble. Elsewhere
// the lines are written as they are.
namespace qm {

enum class LogLevel { Error = 3, Warning = 4, Info = 6 };

// Starts the prefixes when standard error goes to the journal. Once, early in main, before other threads write.
void useJournalPriorities();
// True once useJournalPriorities found the journal.
bool journalPriorities();
// "<N>" for the level when the prefixes are on, else "". Written at the start of a line.
const char* logPrefix(LogLevel level);

}  // namespace qm
