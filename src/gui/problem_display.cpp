#include "gui/problem_display.h"

#include <QCoreApplication>
#include <QPointer>

#include "gui/node_simulator.h"
#include "launch/launch.h"

namespace qm {

void showProblemsIn(QObject* owner, std::function<void(const QString&)> show) {
  QPointer<QObject> target(owner);
  listenForProblems([target, show = std::move(show)](const std::string& problem) {
    QString text = QString::fromStdString(problem);
    // Queued onto the window's own thread, whichever thread reported it.
    QMetaObject::invokeMethod(
        qApp,
        [target, show, text] {
          if (target) show(text);
        },
        Qt::QueuedConnection);
  });
}

void showProblemsIn(NodeSimulator& simulator) {
  showProblemsIn(&simulator, [&simulator](const QString& problem) { simulator.showProblem(problem); });
}

void stopShowingProblems() {
  listenForProblems(nullptr);
}

}  // namespace qm
