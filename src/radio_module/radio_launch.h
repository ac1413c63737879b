#pragma once
// The radio node (--node radio) in a session: made with the session, its settings read from quillmere_radio.ini
// when the program is created, started (its lines opened, JACK asked) once the program's start-up checks have passed
// and before the load announces anything: a refused start never touches the transmitter, and a node whose lines cannot
// be opened ends the program before anything is keyed. Every way the program ends releases the PTT line.
#include <memory>
#include <vector>

#include "launch/radio_module.h"
#include "session/session.h"

namespace qm {

struct Options;
class AirRecording;
namespace radio {
class RadioNode;
}

// Reads the settings at the program's creation and starts the node after its load. `air` gets what goes out.
void installRadioNode(Session& session, AirRecording* air);
// The session's radio node, or null when another node runs.
radio::RadioNode* radioNodeOf(Session& session);

// Ending the program at once in real time, the PTT lines released and a JACK server the node started ended first.
std::unique_ptr<ProgramExit> makeReleasingExit(Session& session);

// The radio node's module (launch/radio_module.h) as this code builds it: the shared object's entry point returns it,
// and the desktop module, which carries the radio built in, uses it directly. The release of every PTT line on fatal
// signals is installed the first time it is asked for.
RadioModule& builtInRadioModule();

}  // namespace qm
