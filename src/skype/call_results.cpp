#include "skype/call_results.h"

#include <vector>

#include "platform/vb_text.h"
#include "skype/api_text.h"

namespace qm {

int CallResults::heard(const std::string& text) {
  std::vector<std::string> w = splitApiWords(text);
  if (w.size() != 4 || apiUpper(w[0]) != "CALL" || !parseInteger(w[1])) return 0;
  const std::string call = "CALL " + w[1] + " ";
  const std::string what = apiUpper(w[2]), value = apiUpper(w[3]);
  if (what == "FAILUREREASON") {
    notRegistered_ = parseInteger(value) == kNotRegisteredReason ? call : "";
    return 0;
  }
  if (what != "STATUS") return 0;
  bool notRegistered = notRegistered_ == call;
  if (value == "FAILED" || value == "FINISHED") notRegistered_.clear();
  if (value == "BUSY") return kBusyPhrase;
  if (value == "MISSED") return kNoAnswerPhrase;
  if (value == "REFUSED") return kDeclinedPhrase;
  if (value == "FAILED") return notRegistered ? kNotRegisteredPhrase : kFailedPhrase;
  return 0;
}

}  // namespace qm
