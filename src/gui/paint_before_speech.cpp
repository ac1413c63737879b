#include "gui/paint_before_speech.h"

#include <QApplication>
#include <QWidget>

#include "session/session.h"

namespace qm {

void paintNow() {
  // Label and layout changes wait as posted layout requests; run those alone, then paint synchronously.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && !w->isMinimized()) w->repaint();
}

void paintBeforeSpeech(Session& session) {
  auto before = std::move(session.transcript.onRecord);
  session.transcript.onRecord = [before = std::move(before)](const OutputEvent& e) {
    if (before) before(e);
    if (e.kind == "say") paintNow();  // recorded just before the voice takes the thread
  };
}

}  // namespace qm
