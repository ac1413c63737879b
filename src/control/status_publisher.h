#pragma once
// Builds the node's status (NodeStatus) on the program's thread and hands it to a sink whenever it changes: at once
// on the node's events and on the program's keying, and on refresh() for what changes without an event (the call,
// the counters). It keeps its own EchoLink instance, made before the program's, so a carrier is told before the
// program's handlers run (which may hold the thread for an announcement).
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "control/node_status.h"

namespace qm {

class Program;
class EchoLinkApp;
class TransmitInhibit;

class StatusPublisher {
 public:
  StatusPublisher(Program& program, TransmitInhibit& inhibit, StatusSink& sink);
  ~StatusPublisher();

  // Builds the status afresh; hands it on when it differs from the last one.
  void refresh();
  // The last problem the operator was told of.
  void setProblem(const std::string& text);
  // The network's state (the directory), when the node has one.
  std::function<std::string()> directoryState;
  // The four audio levels, when the node measures them; the SIP account's registration, when there is one.
  std::function<NodeStatus::Levels()> levels;
  std::function<std::map<std::string, std::uint64_t>()> audioOverruns;
  std::function<std::string()> registration;

  const NodeStatus& last() const { return status_; }

 private:
  Program& program_;
  TransmitInhibit& inhibit_;
  StatusSink& sink_;
  std::unique_ptr<EchoLinkApp> app_;
  NodeStatus status_;
  bool published_ = false;
};

}  // namespace qm
