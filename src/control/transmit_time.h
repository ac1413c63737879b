#pragma once
// The transmitter's keyed time, whatever keys it, whether or not anyone watches: each keying is noticed as it starts
// and as it ends, logged in the history log when it ends ("TX -- 12.5 s -- station", which the web page's statistics
// read), and added up for the status and the metrics. The program's own requests are seen at once (through the
// transmitter inhibit, before speech holds the thread); the node's own keyings by the courtesy window's 10 ms poll of
// the PTT state, which runs all the time.
#include <cstdint>
#include <functional>
#include <string>

namespace qm {

struct Backends;
class HistoryLog;

class TransmitTime {
 public:
  TransmitTime(Backends& backends, HistoryLog& log);
  ~TransmitTime();
  TransmitTime(const TransmitTime&) = delete;
  TransmitTime& operator=(const TransmitTime&) = delete;

  // The node's PTT state as just read.
  void sample(bool keyed);

  bool keyed() const { return keyed_; }
  // When the keying under way began (milliseconds since 1970 by the program's clock); 0 when released.
  std::int64_t sinceMs() const { return sinceMs_; }
  // What keys it ("speech", "morse", "station", "call", "node"); empty when released.
  const std::string& by() const { return by_; }
  // The keyed time of the keyings that have ended.
  std::int64_t doneMs() const { return doneMs_; }

  // Told after each keying and each release.
  std::function<void()> onChange;

 private:
  std::int64_t nowMs() const;
  std::string keyer() const;

  Backends& backends_;
  HistoryLog& log_;
  bool keyed_ = false;
  std::int64_t sinceMs_ = 0, doneMs_ = 0;
  std::string by_;
};

}  // namespace qm
