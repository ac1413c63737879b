#pragma once
// What the real-time modes (desktop and headless) share: the outputs the command line asks for, and the real
// backends a new session gets. Used by the quillmere executable and by the desktop module alike.
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "echolink/air_recording.h"
#include "options.h"
#include "platform/folders.h"
#include "platform/log_priority.h"

namespace qm {

class Session;
class Scheduler;
class EspeakVoice;

// A problem the operator must hear of (a voice, a sound device, a server that cannot start): a "quillmere: ..." line
// on standard error, and told to the listener, if one listens (the desktop shows it where the operator looks).
// Safe from any thread; the listener is called on the reporting thread. Under systemd the line is a warning in the
// journal (platform/log_priority.h).
void reportProblem(const std::string& problem);
// The same for a problem that ends the program: an error in the journal.
void reportError(const std::string& problem);
// Sets (or, with nullptr, removes) the listener; problems reported before it listened are told to it at once.
void listenForProblems(std::function<void(const std::string&)> listener);
// Adds a watcher told of every problem reported from now on, beside the listener (the web page). Any thread.
void watchProblems(std::function<void(const std::string&)> watcher);

// The backends that quillmere.ini's Node and Telephone choose where the command line names none
// (app/node_configuration.h), set in `o`. A bad value is reported with what is used instead; a run with no person at a
// screen (`unattended`: headless, a service) also says loudly when a simulated backend stands where the real one's
// settings file lies.
void chooseBackends(Options& o, const Folders& folders, bool unattended);

// The transcript file (or standard output) and the air recording, opened as the options say.
struct Outputs {
  std::ofstream file;
  std::ostream* transcript = nullptr;
  std::unique_ptr<AirRecording> air;
};
// Nothing, after a one-line error, when a file cannot be written.
std::unique_ptr<Outputs> openOutputs(const Options& options);

// The SIP client in place of the simulated Skype client: baresip as a child process on this event loop.
void installSip(Session& session);
// The espeak-ng voice, or none (the estimate voice stays) when espeak-ng cannot start. With the radio node as the
// session's node, it speaks into the node's transmitter instead of the sound card and the air recording.
std::unique_ptr<EspeakVoice> makeEspeak(Scheduler& scheduler, AirRecording* air, bool playAloud,
                                        Session* session = nullptr);
// The real-time backends a new session gets: the espeak-ng voice, the usage report over the network, the air
// recording, the SIP client, the radio node's start, the web page (when quillmere_web.ini enables it), and SIGTERM,
// SIGINT and SIGHUP as the node closing. What it
// returns must outlive the session.
std::shared_ptr<void> equipSession(const Options& o, Session& session, Scheduler& scheduler, AirRecording* air);

// True when a window system is at hand: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
bool displayAvailable();

}  // namespace qm
