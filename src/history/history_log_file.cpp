#include "history/history_log_file.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace qm {

HistoryLogFile::HistoryLogFile(std::filesystem::path folder, std::size_t limit)
    : folder_(std::move(folder)), limit_(limit) {}

HistoryLogFile::~HistoryLogFile() {
  if (file_) std::fclose(file_);
}

bool HistoryLogFile::open() {
  if (file_) return true;
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  if (ec) {
    problem_ = "cannot create the folder " + folder_.string() + ": " + ec.message();
    return false;
  }
  file_ = std::fopen(path().c_str(), "ab");
  if (!file_) {
    problem_ = "cannot write " + path().string() + ": " + std::strerror(errno);
    return false;
  }
  std::fseek(file_, 0, SEEK_END);
  long at = std::ftell(file_);
  size_ = at > 0 ? static_cast<std::size_t>(at) : 0;
  problem_.clear();
  return true;
}

bool HistoryLogFile::rotate() {
  std::fclose(file_);
  file_ = nullptr;
  std::error_code ec;
  std::filesystem::rename(path(), folder_ / (std::string(kFileName) + ".1"), ec);
  if (ec) {
    problem_ = "cannot rotate " + path().string() + ": " + ec.message();
    return false;
  }
  return open();
}

bool HistoryLogFile::append(std::chrono::system_clock::time_point when, const std::string& text) {
  if (!open()) return false;
  std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &local);
  std::string line(stamp, n);
  line.reserve(n + text.size() + 1);
  for (char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += '\n';
  if (size_ > 0 && size_ + line.size() > limit_ && !rotate()) return false;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
    problem_ = "cannot write " + path().string() + ": " + std::strerror(errno);
    std::fclose(file_);
    file_ = nullptr;
    return false;
  }
  size_ += line.size();
  return true;
}

}  // namespace qm
