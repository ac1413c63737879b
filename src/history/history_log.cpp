#include "history/history_log.h"

#include "app/backends.h"
#include "history/history_log_file.h"
#include "platform/prompter.h"
#include "platform/scheduler.h"

namespace qm {

HistoryLog::HistoryLog(Backends& backends) : backends_(backends) {
  if (!backends.folders.state.empty()) file_ = std::make_unique<HistoryLogFile>(backends.folders.state);
}

HistoryLog::~HistoryLog() = default;

void HistoryLog::open() {
  if (file_ && !file_->open()) report();
}

void HistoryLog::append(const std::string& line) {
  if (file_ && !file_->append(backends_.scheduler.now(), line)) report();
}

void HistoryLog::callTraffic(const std::string& line) {
  if (auto entry = calls_.traffic(line)) append(*entry);
}

void HistoryLog::report() {
  if (reported_) return;
  reported_ = true;
  backends_.prompter.show("The history log file cannot be kept: " + file_->problem() +
                              ".\r\nThe history window still shows the history of this run.",
                          "", BoxIcon::Warning, BoxButtons::Ok);
}

}  // namespace qm
