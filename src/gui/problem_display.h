#pragma once
// The desktop's one place for problems the operator must see: everything reportProblem is told (by any part of the
// program, from any thread) is shown in the node simulator's problem line, or the radio node's live view, as well as
// on standard error.
#include <QString>
#include <functional>

class QObject;

namespace qm {

class NodeSimulator;

// From now on, and for the problems reported before; until stopShowingProblems. `show` runs on `owner`'s thread
// while `owner` lives.
void showProblemsIn(QObject* owner, std::function<void(const QString&)> show);
void showProblemsIn(NodeSimulator& simulator);
void stopShowingProblems();

}  // namespace qm
