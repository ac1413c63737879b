#pragma once
// The web page in a session: when quillmere_web.ini (machine-wide folder) enables it, the status publisher and the
// remote control join the program, and the web server runs on a thread of its own. Nothing otherwise.
#include <functional>
#include <map>
#include <string>

#include "control/node_status.h"

namespace qm {
class Session;
}

namespace qm::web {

// What only the one who made the node knows about it.
struct NodeHooks {
  std::function<void()> disconnectAll;                        // unset: each listed station is disconnected at the node
  std::function<void(const std::string&)> disconnectStation;  // unset: the station is disconnected at the node
  std::function<NodeStatus::Levels()> levels;                 // unset: the node measures none
  std::function<std::string()> registration;                  // unset: no SIP account
  std::function<std::string()> directoryState;                // unset: no network
  std::function<void(const std::string&)> reportProblem;
  // Adds a listener of every problem the operator is told of (any thread).
  std::function<void(std::function<void(const std::string&)>)> watchProblems;
  // By settings file name: makes a saved change take effect now (false when it cannot); a file without one takes
  // changes at the next start.
  std::map<std::string, std::function<bool()>> applySettings;
  // Audio lost since the start, by kind; unset: the node has no sound server.
  std::function<std::map<std::string, std::uint64_t>()> audioOverruns;
};

void installWebServer(Session& session, NodeHooks hooks);

}  // namespace qm::web
