#pragma once
// Where the operator put the desktop's windows, kept in the state folder (quillmere_desktop.ini) so that the next
// start opens them there again (moved back onto the screen if the screen has changed meanwhile).
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>
#include <map>
#include <optional>

class QWidget;

namespace qm {

class WindowMemory : public QObject {
 public:
  // `file` empty: nothing is remembered.
  explicit WindowMemory(QString file);
  // The frame (position and size) a window had when it was last moved or resized by the operator.
  std::optional<QRect> recall(const QString& name) const;
  void remember(const QString& name, const QRect& frame);
  // Writes what is remembered now rather than a moment later.
  void flush();
  // Remembers the window's frame shortly after the operator moves or resizes it.
  void watch(QWidget& window, const QString& name);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QString file_;
  std::map<QObject*, QString> watched_;
  std::map<QString, QRect> pending_;
  QTimer save_;
};

}  // namespace qm
