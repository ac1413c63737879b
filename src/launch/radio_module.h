#pragma once
// The radio node (--node radio, Node=radio) and the EchoLink network live in a module of their own,
// libquillmere_radio.so, with JACK, spandsp, libecholib, SvxLink's Async, libgpiod and libsamplerate: a run on the
// simulated node maps none of them. The module is loaded when the radio is first asked for and stays loaded; it
// installs the release of every PTT line on fatal signals as it loads, before any line can be opened, so that the
// handler is in memory whenever a line is. The desktop module carries the same code built in.
//
// The module's code uses the program's own (the executable exports its symbols): one copy of the logic, its state
// and its problem reports. Everything the rest of the program asks of the radio goes through this interface; it holds
// no backend header.
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "session/session.h"

namespace qm {

class AirRecording;
class SipClient;
struct CheckReport;
namespace radio {
struct RadioSettings;
}
namespace web {
struct NodeHooks;
}

class RadioModule {
 public:
  virtual ~RadioModule() = default;

  // Makes the radio node for a new session.
  virtual Session::NodeFactory nodeFactory() = 0;
  // True when the session's node is the radio node; every call below that takes a session does nothing otherwise.
  virtual bool drives(Session& session) = 0;
  // Reads the settings at the program's creation and starts the node after its load. `air` gets what goes out.
  virtual void installNode(Session& session, AirRecording* air) = 0;
  // Ending the program at once in real time, the PTT lines released and a JACK server the node started ended first.
  virtual std::unique_ptr<ProgramExit> makeRealExit(Session& session) = 0;
  // The phone call's audio through the node's JACK server; the caller's keys heard in it.
  virtual void joinCall(Session& session, SipClient& sip) = 0;
  // Where the voice's speech goes: the node's transmitter.
  using SpeechSink = std::function<void(const std::vector<std::int16_t>& samples, int sampleRate)>;
  virtual SpeechSink speechSink(Session& session) = 0;
  // The web page's view of the node: levels, stations, the network, lost audio.
  virtual void hookWebPage(Session& session, web::NodeHooks& hooks) = 0;
  // `alive` is called on the node's thread at each turn of its loop (the service's watchdog); before the start.
  virtual void watchNodeLoop(Session& session, std::function<void()> alive) = 0;

  // --check: what the node would do with its lines and JACK, what blocks it, and the devices this machine has.
  virtual void checkRadio(const radio::RadioSettings& settings, CheckReport& report) = 0;
  // --release-ptt: opens the PTT line quillmere_radio.ini names and releases it; 0 when released (or none).
  virtual int releasePtt(const Folders& folders, std::ostream& out, std::ostream& errors) = 0;
};

// The module's entry point, "quillmere_radio_module".
using RadioModuleEntry = RadioModule* (*)();
inline constexpr const char* kRadioModuleFile = "libquillmere_radio.so";
inline constexpr const char* kRadioModuleEntry = "quillmere_radio_module";

// The radio module, loaded on first use; null, with `why` naming the file and the loader's reason, when it cannot be.
RadioModule* radioModule(std::string& why);
// The radio module for a part that cannot go on without it: when it cannot be loaded the program says so and ends
// with status 1 (an operator must know the radio is not on the air; no simulated node stands in).
RadioModule& requireRadioModule();
// The radio module of `session`'s node, or null.
RadioModule* radioModuleOf(Session& session);
// A program with the radio built in (the desktop module) uses its own: nothing is loaded then.
void useRadioModule(RadioModule& builtIn);

}  // namespace qm
