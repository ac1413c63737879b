#include "gui/problem_display.h"

#include <QCoreApplication>
#include <QPointer>

#include "gui/node_simulator.h"
#include "launch/launch.h"

namespace qm {

void showProblemsIn(NodeSimulator& simulator) {
  QPointer<NodeSimulator> target(&simulator);
  listenForProblems([target](const std::string& problem) {
    QString text = QString::fromStdString(problem);
    // Queued onto the window's own thread, whichever thread reported it.
    QMetaObject::invokeMethod(
        qApp,
        [target, text] {
          if (target) target->showProblem(text);
        },
        Qt::QueuedConnection);
  });
}

void stopShowingProblems() {
  listenForProblems(nullptr);
}

}  // namespace qm
