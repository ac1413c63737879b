#pragma once
// The operating system's side of running the SIP user agent: a child process, and a TCP connection to its control
// port on 127.0.0.1. The real one runs on the event loop (src/sip_process/); tests drive a fake.
//
// The handlers are called from the event loop, never from inside one of these functions, so the caller may do
// anything in them (even call back in).
#include <functional>
#include <string>
#include <vector>

namespace qm {

class AgentIo {
 public:
  struct Handlers {
    std::function<void()> started;                             // the process runs
    std::function<void(const std::string& why)> ended;         // the process could not start, or it ended
    std::function<void(const std::string& line)> output;       // a line the process printed
    std::function<void()> connected;                           // the control connection is open
    std::function<void(const std::string& why)> disconnected;  // a connect failed, or the connection closed
    std::function<void(const std::string& bytes)> received;    // bytes from the control connection
  };

  virtual ~AgentIo() = default;

  Handlers handlers;

  // Starts `program` with `arguments`; the outcome comes as started or ended. The child is told to end when this
  // program ends, however it ends. Its control port, `controlPort` on 127.0.0.1, takes connections from this
  // program only; when that cannot be made sure of, the process is not started (ended says why).
  virtual void startProcess(const std::string& program, const std::vector<std::string>& arguments, int controlPort) = 0;
  // Asks the process to end (SIGTERM), and kills it when it has not ended soon after; ended follows.
  virtual void stopProcess() = 0;
  // Kills the process at once (SIGKILL), as a crash would end it; ended follows.
  virtual void killProcess() = 0;
  virtual bool processRunning() const = 0;

  // Opens a connection to 127.0.0.1:port; connected or disconnected follows.
  virtual void connectControl(int port) = 0;
  virtual void send(const std::string& bytes) = 0;
  // Closes the connection without a disconnected report.
  virtual void closeControl() = 0;

  // A TCP port on 127.0.0.1 that is free now; 0 when none could be found.
  virtual int freePort() = 0;
};

}  // namespace qm
