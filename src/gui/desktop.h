#pragma once
// The desktop program: the windows of the program in Qt Widgets, the node simulator window, the message boxes, all
// timers on the real-time Qt scheduler. No Qt type appears here, so main stays free of Qt Widgets.
#include <ostream>

namespace qm {

struct Options;

// True when a window system is at hand: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
bool displayAvailable();

// Runs the desktop program until it ends; with --screenshots, writes a PNG of each window after start-up and
// returns (on the offscreen platform when there is no display).
int runDesktop(const Options& options, std::ostream& transcript, int argc, char** argv);

}  // namespace qm
