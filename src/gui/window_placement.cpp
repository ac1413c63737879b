#include "gui/window_placement.h"

#include <algorithm>

namespace qm {

QRect keepInside(const QRect& frame, const QRect& available) {
  int x =
      std::clamp(frame.x(), available.x(), std::max(available.x(), available.x() + available.width() - frame.width()));
  int y = std::clamp(frame.y(), available.y(),
                     std::max(available.y(), available.y() + available.height() - frame.height()));
  return {QPoint(x, y), frame.size()};
}

WindowPair placeSideBySide(QSize mainFrame, QSize simulatorFrame, QSize simulatorMinimum, const QRect& available,
                           int gap) {
  const int roomW = available.width(), roomH = available.height();
  QSize sim = simulatorFrame.boundedTo(available.size());
  auto centredRow = [&](QSize s) {
    int total = mainFrame.width() + gap + s.width();
    int left = available.x() + (roomW - total) / 2;
    int top = available.y() + std::max(0, (roomH - std::max(mainFrame.height(), s.height())) / 2);
    return WindowPair{QRect(QPoint(left, top), mainFrame), QRect(QPoint(left + mainFrame.width() + gap, top), s)};
  };
  auto centredColumn = [&](QSize s) {
    int total = mainFrame.height() + gap + s.height();
    int top = available.y() + (roomH - total) / 2;
    QRect m(QPoint(available.x() + (roomW - mainFrame.width()) / 2, top), mainFrame);
    QRect r(QPoint(available.x() + (roomW - s.width()) / 2, top + mainFrame.height() + gap), s);
    return WindowPair{m, r};
  };

  // Side by side, the simulator as wide as it wants or as the room beside the main window allows.
  int besideW = roomW - mainFrame.width() - gap;
  int fitH = std::min(sim.height(), roomH);
  if (mainFrame.height() <= roomH && besideW >= simulatorMinimum.width() && fitH >= simulatorMinimum.height())
    return centredRow(QSize(std::min(sim.width(), besideW), fitH));
  // Stacked, the simulator as tall as it wants or as the room below allows.
  int belowH = roomH - mainFrame.height() - gap;
  int fitW = std::min(sim.width(), roomW);
  if (mainFrame.width() <= roomW && belowH >= simulatorMinimum.height() && fitW >= simulatorMinimum.width())
    return centredColumn(QSize(fitW, std::min(sim.height(), belowH)));
  // Neither fits: the main window centred, the simulator in the far corner over it.
  QRect m = keepInside(
      QRect(QPoint(available.x() + (roomW - mainFrame.width()) / 2, available.y() + (roomH - mainFrame.height()) / 2),
            mainFrame),
      available);
  QRect s(QPoint(available.right() + 1 - sim.width(), available.bottom() + 1 - sim.height()), sim);
  return {m, keepInside(s, available)};
}

}  // namespace qm
