#include "history/call_records.h"

#include "platform/vb_text.h"

namespace qm {

namespace {

// "<- CALL 12 STATUS RINGING" -> "RINGING"; "" when the line is no status report.
std::string field(const std::string& line, const std::string& name) {
  if (!startsWith(line, "<- CALL ")) return "";
  auto at = line.find(" " + name + " ");
  if (at == std::string::npos) return "";
  std::string value = line.substr(at + name.size() + 2);
  return value.substr(0, value.find(' '));
}

}  // namespace

std::optional<std::string> CallRecords::traffic(const std::string& line) {
  if (startsWith(line, "-> CALL ")) {
    target_ = line.substr(8);
    state_ = "ROUTING";
    result_.clear();
    duration_.clear();
    answered_ = false;
    return std::nullopt;
  }
  if (target_.empty()) return std::nullopt;
  if (std::string d = field(line, "DURATION"); !d.empty()) {
    duration_ = d;
    answered_ = true;
    return std::nullopt;
  }
  std::string status = field(line, "STATUS");
  if (status.empty()) return std::nullopt;
  state_ = status;
  if (status == "INPROGRESS") {
    answered_ = true;
  } else if (status == "BUSY" || status == "REFUSED" || status == "FAILED" || status == "MISSED" ||
             status == "CANCELLED") {
    result_ = status == "BUSY"      ? "busy"
              : status == "REFUSED" ? "refused"
              : status == "FAILED"  ? "failed"
              : status == "MISSED"  ? "not answered"
                                    : "cancelled";
  } else if (status == "FINISHED") {
    std::string result = !result_.empty() ? result_ : answered_ ? "answered" : "not answered";
    std::string entry = "Call to " + target_ + " -- " + result;
    if (answered_) entry += " -- " + (duration_.empty() ? std::string("0") : duration_) + " s";
    ++results_[result];
    target_.clear();
    state_.clear();
    return entry;
  }
  return std::nullopt;
}

int CallRecords::seconds() const {
  int s = 0;
  for (char c : duration_) {
    if (c < '0' || c > '9' || s > 10'000'000) return s;
    s = s * 10 + (c - '0');
  }
  return s;
}

}  // namespace qm
