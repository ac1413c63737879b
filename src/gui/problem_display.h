#pragma once
// The desktop's one place for problems the operator must see: everything reportProblem is told (by any part of the
// program, from any thread) is shown in the node simulator's problem line as well as on standard error.
namespace qm {

class NodeSimulator;

// From now on, and for the problems reported before; until stopShowingProblems.
void showProblemsIn(NodeSimulator& simulator);
void stopShowingProblems();

}  // namespace qm
