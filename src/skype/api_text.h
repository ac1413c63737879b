#pragma once
// Skype API text on the wire: one line of text in a copy-data message, its bytes followed by one zero byte. Both the
// program and the simulated client use these two helpers, so that they agree on what the bytes mean.
#include <optional>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace qm {

// An outgoing line: UTF-8 bytes and a terminating zero, cbData counting the bytes with the zero. The record points
// into this object, so it must outlive the send.
class ApiText {
 public:
  explicit ApiText(const std::string& text);
  ApiText(const ApiText&) = delete;
  ApiText& operator=(const ApiText&) = delete;
  LPARAM lParam() const { return reinterpret_cast<LPARAM>(&record_); }
  const COPYDATASTRUCT& record() const { return record_; }

 private:
  std::vector<char> bytes_;
  COPYDATASTRUCT record_;
};

// The text of an incoming copy-data message: the bytes up to the first zero, or all cbData bytes when there is none,
// never reading past cbData. Byte sequences that are not UTF-8 become U+FFFD, so the text is always valid.
std::string decodeApiText(LPARAM lParam);

// The words of an API command, split at blanks; and a word in capitals (commands are matched without regard to case).
std::vector<std::string> splitApiWords(const std::string& text);
std::string apiUpper(std::string word);
// The target of a "CALL target" command (the keyword in any case, blanks around it), as written; nothing when the
// text is no CALL command. Everything that places, judges or counts a call reads the target this one way.
std::optional<std::string> apiCallTarget(const std::string& text);
// A Skype call id: digits, and no more than a counter holds.
bool isApiCallId(const std::string& id);
// The statuses after which a call is over (Skype's; BUSY and REFUSED come just before FINISHED).
bool isCallEndStatus(const std::string& status);

// Valid UTF-8 with every malformed sequence replaced by U+FFFD.
std::string toValidUtf8(const std::string& bytes);

}  // namespace qm
