#pragma once
// The web server, on a thread of its own (WebThread) with its own Qt event loop, so that a page never waits for the
// program's thread (which speech holds for whole utterances). It serves the embedded pages, the JSON API, /metrics and
// the WebSocket /ws; it reads the status the program last published and hands commands back as queued calls.
//
// HTTP is read by our own bounded reader (http_request.h) on QTcpServer/QSslServer, one request a connection: every
// limit is ours (head, headers, body, a deadline for slow clients, connections in all and per address), and the
// WebSocket upgrade is handed to Qt WebSockets with the handshake still unread.
//
//   GET  /, /app.js, /settings.js, /style.css  the page (embedded; no path from a request reaches the file system)
//   GET  /metrics                       Authorization: Bearer TOKEN; Prometheus text
//   POST /api/login                     {"user", "password"} -> {"csrfToken", "user", "role"} and the session cookie
//   POST /api/logout                    X-CSRF-Token
//   GET  /api/session                   the session's user, role and CSRF token; 401 without one
//   GET  /api/status                    the status (session, or none with PublicStatus=1)
//   GET  /api/history?q=TEXT            the history log, newest first (session)
//   POST /api/command                   {"command"[, "station"]} with X-CSRF-Token; operator or admin
//   GET  /api/settings                  every settings file's keys, values (never a secret's), defaults, help; admin
//   POST /api/settings                  {"file", "key", "value"} with X-CSRF-Token; admin
//   GET  /ws                            WebSocket: {"type":"status", ...} on every change
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <QObject>

#include "control/node_status.h"
#include "web/http_request.h"
#include "web/user_store.h"
#include "web/web_sessions.h"
#include "web/web_settings.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;
class QWebSocketServer;

namespace qm::web {

// A change of one settings key, asked for on the Settings tab.
struct SettingChange {
  std::string file, key, value;
};

// What the server asks of the program. `status` and `log` may be called from the web thread; `command` is carried
// out on the program's thread and `done` is then called there.
struct WebHooks {
  std::function<NodeStatus()> status;
  // `station`: the callsign "disconnect" names (one of the status's stations).
  std::function<void(const std::string& user, const std::string& command, const std::string& station,
                     std::function<void()> done)>
      command;
  std::function<void(const std::string& line)> log;
  std::function<void()> refresh;  // asks the program for a fresh status (changes that raise no event)
  // The settings: listed (no change) or one key changed, on the program's thread; `done` gets the answer's status and
  // JSON body there.
  std::function<void(const std::string& user, std::optional<SettingChange> change,
                     std::function<void(int status, std::string body)> done)>
      settings;
};

class WebServer : public QObject {
 public:
  struct Config {
    WebSettings settings;
    std::filesystem::path usersFile;
    std::filesystem::path historyFile;
    HttpLimits limits;
    std::chrono::milliseconds requestDeadline{10'000};
    // A club's pages and a wall display or two; every page costs a copy of each status.
    int maxConnections = 64, maxPerAddress = 8, maxWebSockets = 64;
  };

  WebServer(Config config, WebHooks hooks);
  ~WebServer() override;

  // Listens; false with `error` set when it cannot. On the web thread.
  bool start(std::string& error);
  // The program published a new status: every open page gets it. Safe from any thread.
  void statusChanged();
  // For the tests: the address and port it listens on.
  std::uint16_t port() const;

 private:
  struct Pending;
  struct Response {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::vector<std::string> headers;
  };

  void accept();
  void readFrom(QTcpSocket* socket);
  void upgrade(QTcpSocket* socket, const HttpRequest& request);
  Response handle(const HttpRequest& request, const std::string& address, QTcpSocket* socket, bool& deferred);
  Response login(const HttpRequest& request, const std::string& address);
  Response command(const HttpRequest& request, QTcpSocket* socket, bool& deferred);
  Response settings(const HttpRequest& request, QTcpSocket* socket, bool& deferred);
  // Sends the answer given later (on any thread) to `socket`, on the web thread, if it is still there.
  std::function<void(Response)> answerLater(QTcpSocket* socket);
  Response history(const HttpRequest& request);
  Response statistics();
  void send(QTcpSocket* socket, const Response& response, bool headOnly = false);
  void broadcast();
  // The refresh's pace: 5 a second while a page watches, once a second while none does.
  void paceRefresh();
  std::optional<WebSessions::Session> sessionOf(const HttpRequest& request);
  bool sameOrigin(const HttpRequest& request) const;
  static Response error(int status, const std::string& message);

  Config config_;
  WebHooks hooks_;
  UserStore users_;
  WebSessions sessions_;
  QTcpServer* server_ = nullptr;
  QWebSocketServer* sockets_ = nullptr;
  QTimer* refresh_ = nullptr;
  std::map<QTcpSocket*, std::unique_ptr<Pending>> pending_;
  std::map<std::string, int> perAddress_;
  struct Watcher {
    std::string session;  // empty: a public status page
  };
  std::map<QWebSocket*, Watcher> watchers_;
  std::map<std::string, std::string> upgrades_;  // handshakes under way: peer -> session id
  std::string lastSent_;
  std::atomic<bool> broadcastQueued_{false};
};

}  // namespace qm::web
