#pragma once
// A caller's keys reach the node two ways: as RFC 4733 events (the telephone's "CALL n DTMF d") and as tones in the
// call's audio, decoded on the radio node (for phones that send no events). A phone may send both for one press.
// The first event shows that the phone sends events: from then on tones are ignored, and that first event is dropped
// when a tone of the same key was taken just before it (the same press, heard both ways).
#include <chrono>

namespace qm {

class CallerKeys {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  enum class Way { Event, Tone };
  static constexpr std::chrono::milliseconds kSamePress{1000};

  // Whether this key counts.
  bool take(char key, Way way, TimePoint now);
  // A new call: nothing known of its phone.
  void reset() { *this = CallerKeys{}; }

 private:
  bool events_ = false;  // the phone sends events
  char lastTone_ = 0;
  TimePoint toneAt_{};
};

}  // namespace qm
