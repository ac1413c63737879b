#pragma once
// The desktop program: the windows of the program in Qt Widgets, the node simulator window, the message boxes, all
// timers on the real-time Qt scheduler. No Qt type appears here, so main stays free of Qt Widgets.
#include <functional>
#include <memory>
#include <ostream>

namespace qm {

struct Options;
class Session;
class Scheduler;

// Equips a new real-time session with the backends the desktop shares with the headless mode (voices, the HTTP
// client, the air recording); what it returns is kept until the session has gone.
using SessionSetup = std::function<std::shared_ptr<void>(Session&, Scheduler&)>;

// Runs the desktop program until it ends; with --screenshots, writes a PNG of each window after start-up and
// returns (on the offscreen platform when there is no display).
int runDesktop(const Options& options, std::ostream& transcript, int argc, char** argv, const SessionSetup& setup);

}  // namespace qm
