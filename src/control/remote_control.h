#pragma once
// Commands from outside the desktop (the web page), each carried out exactly as the desktop's own control does it
// and logged in the history with the name of the user who gave it. On the program's thread.
#include <functional>
#include <string>
#include <vector>

namespace qm {

class Program;
class TransmitInhibit;

class RemoteControl {
 public:
  RemoteControl(Program& program, TransmitInhibit& inhibit) : program_(program), inhibit_(inhibit) {}

  // The names of the commands, as the web page sends them.
  static const std::vector<std::string>& commands();
  static bool known(const std::string& command);
  // Carries out `command` for `user` (`station`: the one "disconnect" lets go); false when the command is not known.
  bool run(const std::string& command, const std::string& user, const std::string& station = "");
  // Logs a line about the web page (a login, a refusal) in the history.
  void log(const std::string& line);

  // Lets every connected station go; set by whoever knows the node.
  std::function<void()> disconnectAll;
  // Lets one connected station go.
  std::function<void(const std::string& call)> disconnectStation;

 private:
  Program& program_;
  TransmitInhibit& inhibit_;
};

}  // namespace qm
