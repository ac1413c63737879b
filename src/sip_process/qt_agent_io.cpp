#include "sip_process/qt_agent_io.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <filesystem>

#include "realtime/module_loader.h"
#include "realtime/qt_scheduler.h"

namespace qm {
namespace {

// The control guard (src/sip_guard/): beside the executable in a build, or where the package installs it.
std::string controlGuardLibrary() {
  const char* name = "libquillmere_control_guard.so";
  std::error_code ec;
  for (const auto& place : modulePlaces(name))
    if (std::filesystem::is_regular_file(place, ec)) return place.string();
  return "";
}

}  // namespace

QtAgentIo::QtAgentIo() {
  killTimer_.setSingleShot(true);
  QObject::connect(&killTimer_, &QTimer::timeout, &context_, [this] {
    if (process_ && process_->state() != QProcess::NotRunning) process_->kill();
  });
}

QtAgentIo::~QtAgentIo() {
  handlers = {};
  dropSocket();
  if (process_) {
    QObject::disconnect(process_, nullptr, &context_, nullptr);
    if (process_->state() != QProcess::NotRunning) {
      process_->terminate();
      if (!process_->waitForFinished(1500)) {
        process_->kill();
        process_->waitForFinished(1000);
      }
    }
    delete process_;
    process_ = nullptr;
  }
}

void QtAgentIo::dropProcess() {
  if (!process_) return;
  QObject::disconnect(process_, nullptr, &context_, nullptr);
  if (process_->state() != QProcess::NotRunning) {
    process_->kill();
    process_->waitForFinished(1000);
  }
  process_->deleteLater();
  process_ = nullptr;
}

void QtAgentIo::startProcess(const std::string& program, const std::vector<std::string>& arguments, int controlPort) {
  dropProcess();
  killTimer_.stop();
  partialLine_.clear();
  endReported_ = false;
  // Without the guard any local user could place calls through the control port: no guard, no baresip.
  const std::string guard = controlGuardLibrary();
  if (guard.empty()) {
    QTimer::singleShot(0, &context_, [this] {
      processEnded(
          "libquillmere_control_guard.so, which keeps other users off baresip's control port, is not "
          "installed beside quillmere or in " QUILLMERE_MODULE_DIR);
    });
    return;
  }
  process_ = new QProcess();
  QProcess* p = process_;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  QString preload = QString::fromStdString(guard);
  if (env.contains("LD_PRELOAD") && !env.value("LD_PRELOAD").isEmpty()) preload += ":" + env.value("LD_PRELOAD");
  env.insert("LD_PRELOAD", preload);
  env.insert("QUILLMERE_CONTROL_PORT", QString::number(controlPort));
  env.insert("QUILLMERE_CONTROL_OWNER", QString::number(QCoreApplication::applicationPid()));
  // Where the agent writes the status of its next refusal (refusal_status.cpp): in baresip's own folder ("-f DIR").
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
    if (arguments[i] == "-f")
      env.insert("QUILLMERE_REFUSAL_FILE", QString::fromStdString(arguments[i + 1] + "/refusal"));
  p->setProcessEnvironment(env);
  p->setProcessChannelMode(QProcess::MergedChannels);
  p->setStandardInputFile(QProcess::nullDevice());
  // The kernel ends the child when this program ends, however it ends (an orderly stop ends the calls first).
  p->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  QStringList args;
  for (const std::string& a : arguments) args << QString::fromStdString(a);
  auto mine = [this, p] { return process_ == p; };
  QObject::connect(
      p, &QProcess::started, &context_,
      [this, mine] {
        if (mine() && handlers.started) runGuarded("sip", [this] { handlers.started(); });
      },
      Qt::QueuedConnection);
  QObject::connect(
      p, &QProcess::errorOccurred, &context_,
      [this, mine, p, program](QProcess::ProcessError error) {
        if (!mine() || error != QProcess::FailedToStart) return;  // other errors are followed by finished
        processEnded("could not run " + program + ": " + p->errorString().toStdString());
      },
      Qt::QueuedConnection);
  QObject::connect(
      p, &QProcess::finished, &context_,
      [this, mine, program](int code, QProcess::ExitStatus status) {
        if (!mine()) return;
        killTimer_.stop();
        readOutput();
        processEnded(status == QProcess::CrashExit ? program + " ended abnormally (killed or crashed)"
                                                   : program + " ended with exit status " + std::to_string(code));
      },
      Qt::QueuedConnection);
  QObject::connect(
      p, &QProcess::readyReadStandardOutput, &context_,
      [this, mine] {
        if (mine()) readOutput();
      },
      Qt::QueuedConnection);
  p->start(QString::fromStdString(program), args);
}

void QtAgentIo::readOutput() {
  if (!process_) return;
  partialLine_ += process_->readAllStandardOutput().toStdString();
  std::size_t nl;
  while ((nl = partialLine_.find('\n')) != std::string::npos) {
    std::string line = partialLine_.substr(0, nl);
    partialLine_.erase(0, nl + 1);
    if (handlers.output) runGuarded("sip", [&] { handlers.output(line); });
  }
  if (partialLine_.size() > 4096) partialLine_.clear();  // no line is that long; drop runaway output
}

void QtAgentIo::processEnded(const std::string& why) {
  if (endReported_) return;
  endReported_ = true;
  if (handlers.ended) runGuarded("sip", [&] { handlers.ended(why); });
}

void QtAgentIo::stopProcess() {
  if (!process_ || process_->state() == QProcess::NotRunning) return;
  process_->terminate();
  killTimer_.start(kStopGraceMs);
}

void QtAgentIo::killProcess() {
  if (process_ && process_->state() != QProcess::NotRunning) process_->kill();
}

bool QtAgentIo::processRunning() const {
  return process_ && process_->state() != QProcess::NotRunning;
}

void QtAgentIo::dropSocket() {
  if (!socket_) return;
  QObject::disconnect(socket_, nullptr, &context_, nullptr);
  socket_->abort();
  socket_->deleteLater();
  socket_ = nullptr;
}

void QtAgentIo::connectControl(int port) {
  dropSocket();
  lossReported_ = false;
  socket_ = new QTcpSocket();
  QTcpSocket* s = socket_;
  auto mine = [this, s] { return socket_ == s; };
  QObject::connect(
      s, &QTcpSocket::connected, &context_,
      [this, mine] {
        if (mine() && handlers.connected) runGuarded("sip", [this] { handlers.connected(); });
      },
      Qt::QueuedConnection);
  QObject::connect(
      s, &QTcpSocket::readyRead, &context_,
      [this, mine, s] {
        if (!mine()) return;
        std::string bytes = s->readAll().toStdString();
        if (!bytes.empty() && handlers.received) runGuarded("sip", [&] { handlers.received(bytes); });
      },
      Qt::QueuedConnection);
  QObject::connect(
      s, &QTcpSocket::errorOccurred, &context_,
      [this, mine, s](QAbstractSocket::SocketError) {
        if (mine()) controlLost(s->errorString().toStdString());
      },
      Qt::QueuedConnection);
  QObject::connect(
      s, &QTcpSocket::disconnected, &context_,
      [this, mine] {
        if (mine()) controlLost("closed");
      },
      Qt::QueuedConnection);
  s->connectToHost(QHostAddress(QHostAddress::LocalHost), static_cast<quint16>(port));
}

void QtAgentIo::controlLost(const std::string& why) {
  if (lossReported_) return;
  lossReported_ = true;
  if (handlers.disconnected) runGuarded("sip", [&] { handlers.disconnected(why); });
}

void QtAgentIo::send(const std::string& bytes) {
  if (socket_ && socket_->state() == QAbstractSocket::ConnectedState)
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void QtAgentIo::closeControl() {
  dropSocket();
}

int QtAgentIo::freePort() {
  QTcpServer server;
  if (!server.listen(QHostAddress(QHostAddress::LocalHost), 0)) return 0;
  int port = server.serverPort();
  server.close();
  return port;
}

}  // namespace qm
