#pragma once
#include <QLabel>
#include <QString>
#include <QStringList>

namespace qm {

// The line a window shows problems in (the node simulator, the radio node's live view): the latest in bold red,
// hidden until there is one; the last ten in its tool tip. Its object name is "problem".
class ProblemLine : public QLabel {
 public:
  explicit ProblemLine(QWidget* parent = nullptr);
  void add(const QString& problem);
  QString latest() const { return isHidden() ? QString() : text(); }
  QString all() const { return shown_.join(QLatin1Char('\n')); }

 private:
  QStringList shown_;
};

}  // namespace qm
