#include "gui/screenshots.h"

#include <QDir>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

namespace qm {

QImage framedImage(QWidget& window) {
  constexpr int kBar = 24, kEdge = 1;
  QPixmap client = window.grab();
  QSize size = client.deviceIndependentSize().toSize();
  QImage image(size.width() + 2 * kEdge, size.height() + kBar + kEdge, QImage::Format_ARGB32);
  image.fill(QColor(64, 64, 64));
  QPainter p(&image);
  QRect bar(kEdge, kEdge, size.width(), kBar - kEdge);
  QLinearGradient fill(bar.topLeft(), bar.topRight());
  fill.setColorAt(0, QColor(10, 36, 106));
  fill.setColorAt(1, QColor(58, 110, 165));
  p.fillRect(bar, fill);
  // Minimise and close boxes: a fixed single border has no maximise box.
  QFont font = window.font();
  font.setBold(true);
  font.setPixelSize(12);
  p.setFont(font);
  p.setPen(Qt::white);
  int box = kBar - 8;
  QRect close(bar.right() - box - 3, bar.top() + 3, box, box - 1);
  QRect minimise = close.translated(-box - 2, 0);
  for (const QRect& r : {minimise, close}) {
    p.fillRect(r, QColor(212, 208, 200));
    p.setPen(Qt::black);
    p.drawRect(r.adjusted(0, 0, -1, -1));
  }
  p.drawLine(minimise.left() + 4, minimise.bottom() - 4, minimise.right() - 5, minimise.bottom() - 4);
  p.drawLine(close.left() + 4, close.top() + 4, close.right() - 5, close.bottom() - 4);
  p.drawLine(close.left() + 4, close.bottom() - 4, close.right() - 5, close.top() + 4);
  p.setPen(Qt::white);
  QRect text = bar.adjusted(6, 0, -(2 * box + 12), 0);
  p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
             QFontMetrics(font).elidedText(window.windowTitle(), Qt::ElideRight, text.width()));
  p.drawPixmap(QRect(QPoint(kEdge, kBar), size), client);
  return image;
}

QStringList saveScreenshots(const QString& dir, const std::vector<std::pair<QString, QWidget*>>& windows) {
  QStringList failed;
  QDir().mkpath(dir);
  for (const auto& [name, window] : windows) {
    QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
    if (!framedImage(*window).save(file, "PNG")) failed << file;
  }
  return failed;
}

}  // namespace qm
