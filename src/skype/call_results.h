#pragma once
// What the radio user hears when a call placed from the radio ends without being answered. The telephone client
// reports it in the Skype API's words before the call's STATUS FINISHED:
//   CALL n STATUS BUSY       "Sorry the line is busy"                  (Form1 Text22)
//   CALL n STATUS MISSED     "Sorry there is no answer"                (Text23)
//   CALL n STATUS REFUSED    "Sorry the call was declined"             (Text24)
//   CALL n STATUS FAILED     "Sorry the call failed"                   (Text25), or, when CALL n FAILUREREASON 4
//                            (no proxy: the telephone account is not registered) came first,
//                            "Sorry the phone line is not registered"  (Text26)
// A call the radio user hung up ends with FINISHED alone and is not announced.
#include <string>

namespace qm {

class CallResults {
 public:
  static constexpr int kBusyPhrase = 22, kNoAnswerPhrase = 23, kDeclinedPhrase = 24, kFailedPhrase = 25,
                       kNotRegisteredPhrase = 26;
  static constexpr int kNotRegisteredReason = 4;

  // One line of Skype API text as received; the phrase box number to announce, 0 for none.
  int heard(const std::string& text);

 private:
  std::string notRegistered_;  // "CALL n " of the call whose failure reason is the account
};

}  // namespace qm
