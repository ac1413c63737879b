#pragma once
// The user agent's process and control connection on Qt's event loop: QProcess for baresip (its output read line
// by line, and the child told by the kernel to end when this program ends) and QTcpSocket for its control port on
// 127.0.0.1. Every handler is called from a queued event, never from inside one of these functions.
#include <QObject>
#include <QTimer>
#include <memory>

#include "sip/agent_io.h"

class QProcess;
class QTcpSocket;

namespace qm {

class QtAgentIo : public AgentIo {
 public:
  // A process asked to end gets this long before it is killed.
  static constexpr int kStopGraceMs = 2000;

  QtAgentIo();
  // Stops a running process and waits for it (briefly), so none outlives the program.
  ~QtAgentIo() override;

  void startProcess(const std::string& program, const std::vector<std::string>& arguments, int controlPort) override;
  void stopProcess() override;
  void killProcess() override;
  bool processRunning() const override;
  void connectControl(int port) override;
  void send(const std::string& bytes) override;
  void closeControl() override;
  int freePort() override;

 private:
  void readOutput();
  void processEnded(const std::string& why);
  void controlLost(const std::string& why);
  void dropProcess();
  void dropSocket();

  QObject context_;  // receiver of every queued signal; events still queued for it die with it
  QProcess* process_ = nullptr;
  QTcpSocket* socket_ = nullptr;
  QTimer killTimer_;
  std::string partialLine_;
  bool endReported_ = false;
  bool lossReported_ = false;
};

}  // namespace qm
