#include "platform/log_priority.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <string>

namespace qm {

namespace {

bool journal = false;

// Standard error, a whole line at a time, each line given "<4>" unless it starts with a priority of its own. Each
// thread gathers its own line, so lines written at once by two threads never mix; a line goes out in one write.
class PrefixingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    add(static_cast<char>(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) add(s[i]);
    return n;
  }

 private:
  static constexpr std::size_t kLongestLine = 8192;  // a longer one is cut into lines of this size

  void add(char c) {
    thread_local std::string line;
    line.push_back(c);
    if (c != '\n' && line.size() < kLongestLine) return;
    if (line.back() != '\n') line.push_back('\n');
    const bool own = line.size() >= 3 && line[0] == '<' && line[1] >= '0' && line[1] <= '7' && line[2] == '>';
    if (!own) line.insert(0, "<4>");
    {
      std::lock_guard hold(lock_);
      for (std::size_t done = 0; done < line.size();) {
        ssize_t put = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (put <= 0) break;  // nowhere to write: the line is lost, as it would be unprefixed
        done += static_cast<std::size_t>(put);
      }
    }
    line.clear();
  }

  std::mutex lock_;
};

// JOURNAL_STREAM is "DEVICE:INODE" of the stream systemd connected; a program it started may have redirected
// standard error since, so both must match.
bool stderrIsJournal() {
  const char* value = std::getenv("JOURNAL_STREAM");
  if (value == nullptr || *value == 0) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(value, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

}  // namespace

void useJournalPriorities() {
  if (journal || !stderrIsJournal()) return;
  static PrefixingBuffer buffer;  // lives as long as std::cerr may be written to
  std::cerr.rdbuf(&buffer);
  journal = true;
}

bool journalPriorities() {
  return journal;
}

const char* logPrefix(LogLevel level) {
  if (!journal) return "";
  switch (level) {
    case LogLevel::Error:
      return "<3>";
    case LogLevel::Warning:
      return "<4>";
    case LogLevel::Info:
      return "<6>";
  }
  return "";
}

}  // namespace qm
