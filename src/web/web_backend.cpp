#include "web/web_backend.h"

#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>

#include "control/remote_control.h"
#include "control/remote_settings.h"
#include "control/status_publisher.h"
#include "history/history_log_file.h"
#include "platform/scheduler.h"
#include "session/session.h"
#include "web/settings_json.h"
#include "web/web_server.h"
#include "web/web_settings.h"

namespace qm::web {

namespace {

// Lives on the program's thread; the server on the web thread. They meet in `status_` (under its mutex) and in
// messages posted to each other's event loop.
class WebExtension : public SessionExtension, public StatusSink {
 public:
  WebExtension(Session& session, WebSettings settings, NodeHooks hooks)
      : session_(session), settings_(std::move(settings)), hooks_(std::move(hooks)) {}
  ~WebExtension() override { stop(); }

  void programCreated(Program& program) override {
    publisher_ = std::make_unique<StatusPublisher>(program, session_.transmitInhibit, *this);
    publisher_->directoryState = hooks_.directoryState;
    publisher_->levels = hooks_.levels;
    publisher_->audioOverruns = hooks_.audioOverruns;
    publisher_->registration = hooks_.registration;
    remote_ = std::make_unique<RemoteControl>(program, session_.transmitInhibit);
    settingsEditor_ = std::make_unique<RemoteSettings>(program, hooks_.applySettings);
    remote_->disconnectAll = hooks_.disconnectAll ? hooks_.disconnectAll : [this] {
      for (const std::string& call : publisher_->last().stations) session_.node.disconnect(call);
    };
    remote_->disconnectStation = hooks_.disconnectStation ? hooks_.disconnectStation : [this](const std::string& call) {
      session_.node.disconnect(call);
    };
  }

  void programStarted() override {
    publisher_->refresh();
    if (hooks_.watchProblems) {
      auto alive = alive_;
      Scheduler* scheduler = &session_.backends.scheduler;
      hooks_.watchProblems([this, alive, scheduler](const std::string& problem) {
        scheduler->post([this, alive, problem] {
          if (*alive) publisher_->setProblem(problem);
        });
      });
    }
    startServer();
  }

  void programEnded() override { stop(); }

  void publish(const NodeStatus& status) override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      status_ = status;
    }
    if (server_) server_->statusChanged();
  }

 private:
  void startServer() {
    const Folders& f = session_.backends.folders;
    WebServer::Config config;
    config.settings = settings_;
    config.usersFile = f.machineWide(kUsersFile);
    if (!f.state.empty()) config.historyFile = f.state / HistoryLogFile::kFileName;
    auto alive = alive_;
    Scheduler* scheduler = &session_.backends.scheduler;
    WebHooks hooks;
    hooks.status = [this] {
      std::lock_guard<std::mutex> hold(mutex_);
      return status_;
    };
    hooks.command = [this, alive, scheduler](const std::string& user, const std::string& command,
                                             const std::string& station, std::function<void()> done) {
      scheduler->post([this, alive, user, command, station, done] {
        if (!*alive) return;
        runUntilEnded([&] { remote_->run(command, user, station); });
        if (!*alive) return;
        publisher_->refresh();
        done();
      });
    };
    hooks.settings = [this, alive, scheduler](const std::string& user, std::optional<SettingChange> change,
                                              std::function<void(int, std::string)> done) {
      scheduler->post([this, alive, user, change, done] {
        if (!*alive) return;
        if (!change) return done(200, settingsJson(settingsEditor_->list()));
        RemoteSettings::Outcome outcome;
        runUntilEnded([&] { outcome = settingsEditor_->change(change->file, change->key, change->value, user); });
        if (!*alive) return;
        publisher_->refresh();
        done(outcome.saved ? 200 : 400, settingChangeJson(outcome));
      });
    };
    hooks.log = [this, alive, scheduler](const std::string& line) {
      scheduler->post([this, alive, line] {
        if (*alive) remote_->log(line);
      });
    };
    hooks.refresh = [this, alive, scheduler] {
      if (refreshQueued_.exchange(true)) return;  // one at a time, however long the program's thread is held
      scheduler->post([this, alive] {
        refreshQueued_ = false;
        if (*alive) publisher_->refresh();
      });
    };
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("web"));
    thread_->start();
    auto* server = new WebServer(std::move(config), std::move(hooks));
    server->moveToThread(thread_.get());
    bool ok = false;
    std::string error;
    QMetaObject::invokeMethod(
        server, [&] { ok = server->start(error); }, Qt::BlockingQueuedConnection);
    if (!ok) {
      QMetaObject::invokeMethod(
          server, [server] { delete server; }, Qt::BlockingQueuedConnection);
      thread_->quit();
      thread_->wait();
      thread_.reset();
      if (hooks_.reportProblem) hooks_.reportProblem(error);
      return;
    }
    server_ = server;
    server_->statusChanged();
  }

  void stop() {
    *alive_ = false;
    if (!thread_) return;
    WebServer* server = server_;
    server_ = nullptr;
    QMetaObject::invokeMethod(
        server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    thread_.reset();
  }

  Session& session_;
  WebSettings settings_;
  NodeHooks hooks_;
  std::unique_ptr<StatusPublisher> publisher_;
  std::unique_ptr<RemoteControl> remote_;
  std::unique_ptr<RemoteSettings> settingsEditor_;
  std::unique_ptr<QThread> thread_;
  WebServer* server_ = nullptr;  // on the web thread; deleted there
  std::mutex mutex_;
  NodeStatus status_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::atomic<bool> refreshQueued_{false};
};

}  // namespace

void installWebServer(Session& session, NodeHooks hooks) {
  std::vector<std::string> problems;
  WebSettings settings = readWebSettings(session.backends.folders.machineWide(kWebSettingsFile), problems);
  for (const auto& p : problems)
    if (hooks.reportProblem) hooks.reportProblem(p);
  if (!settings.enabled) return;
  session.addExtension(std::make_unique<WebExtension>(session, std::move(settings), std::move(hooks)));
}

}  // namespace qm::web
