#pragma once
// Phone calls as the history log keeps them, read from the Skype traffic the data panel shows: a call placed
// ("-> CALL 5551234") is followed through its status reports to its end, which gives one line with the number or
// name called, the result and how long the call was up, for example
//   "Call to 5551234 -- answered -- 42 s"    "Call to echo123 -- busy"
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace qm {

class CallRecords {
 public:
  // One line of the data panel; the history line of a call that has just finished, if this line finished one.
  std::optional<std::string> traffic(const std::string& line);

  // The call in progress: what it was placed to (empty when none), its last status and its duration so far.
  const std::string& target() const { return target_; }
  const std::string& state() const { return state_; }
  int seconds() const;
  // Calls that have ended, by result ("answered", "busy", ...), since the program started.
  const std::map<std::string, std::uint64_t>& results() const { return results_; }

 private:
  std::string state_;
  std::map<std::string, std::uint64_t> results_;
  std::string target_;  // what the call in progress was placed to; empty when none
  std::string result_;
  std::string duration_;
  bool answered_ = false;
};

}  // namespace qm
