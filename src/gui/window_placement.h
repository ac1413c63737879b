#pragma once
// Where the desktop's windows go on a screen: pure rules on rectangles in the screen's logical pixels, frames
// included, so that they can be tried against any screen size and scale.
//
// The main window and the node simulator open side by side within the screen's available area, the pair centred;
// where they do not fit side by side, the node simulator goes below the main window; where neither fits, the node
// simulator is made smaller (down to its minimum) to fit beside or below; failing that, it overlaps the main window
// from the screen's far corner. Every window stays within the available area as far as its size allows.
#include <QRect>
#include <QSize>

namespace qm {

struct WindowPair {
  QRect main;
  QRect simulator;
};

// `mainFrame` cannot change size; the simulator can: down to `simulatorMinimum` to sit beside or below the main window,
// and further (it scrolls) when even that does not fit.
WindowPair placeSideBySide(QSize mainFrame, QSize simulatorFrame, QSize simulatorMinimum, const QRect& available,
                           int gap = 8);
// The frame moved (not resized) to lie within `available`; a frame larger than the area keeps its top-left corner
// in it, so that the title bar can be reached.
QRect keepInside(const QRect& frame, const QRect& available);

}  // namespace qm
