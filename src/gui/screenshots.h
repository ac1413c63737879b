#pragma once
// Pictures of the windows: each top-level widget drawn with a plain title bar carrying its caption, so a picture
// shows the caption the window has.
#include <QImage>
#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

namespace qm {

QImage framedImage(QWidget& window);
// Writes DIR/NAME.png for each (NAME, window); returns the files that could not be written.
QStringList saveScreenshots(const QString& dir, const std::vector<std::pair<QString, QWidget*>>& windows);

}  // namespace qm
