#pragma once
// The history log on disk: quillmere_history.log in the state folder, plain text, one line per event, each line
// "YYYY-MM-DD HH:MM:SS " and the event. A line is written and flushed as it happens, so a restart, a crash or a
// closed history window loses nothing. When the file passes its size limit it becomes quillmere_history.log.1
// (replacing the one before) and a new file starts, so the log never takes more than twice the limit.
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace qm {

class HistoryLogFile {
 public:
  static constexpr const char* kFileName = "quillmere_history.log";
  static constexpr std::size_t kDefaultLimit = 1024 * 1024;

  explicit HistoryLogFile(std::filesystem::path folder, std::size_t limit = kDefaultLimit);
  ~HistoryLogFile();
  HistoryLogFile(const HistoryLogFile&) = delete;
  HistoryLogFile& operator=(const HistoryLogFile&) = delete;

  // Creates the folder and opens the file for appending; false, with problem() saying why, when it cannot.
  bool open();
  // Appends one line stamped with `when` (local time); opens the file first when needed. Line breaks inside `text`
  // become blanks, so that every event stays one line. False when the line could not be written.
  bool append(std::chrono::system_clock::time_point when, const std::string& text);
  const std::string& problem() const { return problem_; }
  std::filesystem::path path() const { return folder_ / kFileName; }

 private:
  bool rotate();
  std::filesystem::path folder_;
  std::size_t limit_;
  std::FILE* file_ = nullptr;
  std::size_t size_ = 0;
  std::string problem_;
};

}  // namespace qm
