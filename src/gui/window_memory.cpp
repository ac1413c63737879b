#include "gui/window_memory.h"

#include <QEvent>
#include <QSettings>
#include <QWidget>

namespace qm {

WindowMemory::WindowMemory(QString file) : file_(std::move(file)) {
  save_.setSingleShot(true);
  save_.setInterval(400);  // a drag moves a window many times: one write once it rests
  QObject::connect(&save_, &QTimer::timeout, this, [this] { flush(); });
}

void WindowMemory::flush() {
  save_.stop();
  if (file_.isEmpty() || pending_.empty()) return;
  QSettings settings(file_, QSettings::IniFormat);
  for (const auto& [name, frame] : pending_) settings.setValue(name + QStringLiteral("/frame"), frame);
  pending_.clear();
}

std::optional<QRect> WindowMemory::recall(const QString& name) const {
  if (file_.isEmpty()) return std::nullopt;
  QSettings settings(file_, QSettings::IniFormat);
  QRect frame = settings.value(name + QStringLiteral("/frame")).toRect();
  if (!frame.isValid()) return std::nullopt;
  return frame;
}

void WindowMemory::remember(const QString& name, const QRect& frame) {
  pending_[name] = frame;
  save_.start();
}

void WindowMemory::watch(QWidget& window, const QString& name) {
  watched_[&window] = name;
  window.installEventFilter(this);
}

bool WindowMemory::eventFilter(QObject* watched, QEvent* event) {
  // Only the operator's moves count (the window manager's events are spontaneous; the program's own are not).
  if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && event->spontaneous()) {
    auto it = watched_.find(watched);
    auto* w = qobject_cast<QWidget*>(watched);
    if (it != watched_.end() && w && w->isVisible()) remember(it->second, w->frameGeometry());
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qm
