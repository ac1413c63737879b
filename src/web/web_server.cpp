#include "web/web_server.h"

#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>

#include "control/remote_control.h"
#include "sip/json_text.h"
#include "web/history_statistics.h"
#include "web/status_text.h"
#include "web/web_check.h"

// The pages are resources of this static library: they must be registered by hand.
static void registerPages() {
  Q_INIT_RESOURCE(web);
}

namespace qm::web {

namespace {

constexpr const char* kCookie = "quillmere_session";
constexpr std::size_t kHistoryTail = 512 * 1024;  // the part of the history log a page reads
constexpr std::size_t kHistoryLines = 1000;
constexpr std::size_t kStatisticsTail = 4 * 1024 * 1024;  // the part of the history logs the statistics read

// The last `limit` bytes of a file, from the start of a whole line; empty when it cannot be read.
std::string readTail(const std::filesystem::path& file, std::size_t limit) {
  std::ifstream in(file, std::ios::binary);
  std::string text;
  if (!in || limit == 0) return text;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0) return text;
  const std::streamoff from = size > static_cast<std::streamoff>(limit) ? size - static_cast<std::streamoff>(limit) : 0;
  in.seekg(from);
  text.resize(static_cast<std::size_t>(size - from));
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (from > 0) text.erase(0, text.find('\n') + 1);  // a cut first line is left out
  return text;
}

std::int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

const char* reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Error";
  }
}

// The embedded files: the only names a request can ask for.
struct StaticFile {
  const char* path;
  const char* resource;
  const char* type;
};
constexpr StaticFile kStaticFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
    {"/settings.js", ":/web/settings.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/web/style.css", "text/css; charset=utf-8"},
};

std::string lowerCopy(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string peerKey(const QHostAddress& address, quint16 port) {
  return address.toString().toStdString() + " " + std::to_string(port);
}

bool tokenEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

}  // namespace

struct WebServer::Pending {
  QTimer deadline;
  std::string address;
  bool answered = false;
};

WebServer::WebServer(Config config, WebHooks hooks)
    : config_(std::move(config)),
      hooks_(std::move(hooks)),
      users_(config_.usersFile),
      sessions_([this](const std::string& user, const std::string& password) {
        // The file is read at every login, so that --add-user and --remove-user take effect without a restart.
        std::vector<std::string> problems;
        users_.load(problems);
        for (const auto& p : problems) hooks_.log(p);
        return users_.verify(user, password);
      }) {
  registerPages();
}

WebServer::~WebServer() {
  for (auto& [socket, watcher] : watchers_) socket->abort();
}

std::uint16_t WebServer::port() const {
  return server_ ? server_->serverPort() : 0;
}

bool WebServer::start(std::string& error) {
  const WebSettings& s = config_.settings;
  if (s.tls()) {
    QSslCertificate cert;
    QSslKey key;
    if (!loadTlsFiles(s, cert, key, error)) return false;
    auto* tls = new QSslServer(this);
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setLocalCertificate(cert);
    conf.setPrivateKey(key);
    conf.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls->setSslConfiguration(conf);
    tls->setHandshakeTimeout(static_cast<int>(config_.requestDeadline.count()));  // a client that never finishes
    server_ = tls;
  } else {
    server_ = new QTcpServer(this);
  }
  server_->setMaxPendingConnections(config_.maxConnections);
  QObject::connect(server_, &QTcpServer::pendingConnectionAvailable, this, [this] { accept(); });
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(s.address))) {
    error = "the web server cannot listen on '" + s.address + "': not an address";
    return false;
  }
  if (!server_->listen(address, s.port)) {
    error = "the web server cannot listen on " + s.address + ":" + std::to_string(s.port) + " (" +
            server_->errorString().toStdString() + ")";
    return false;
  }
  sockets_ = new QWebSocketServer(QStringLiteral("quillmere"), QWebSocketServer::NonSecureMode, this);
  QObject::connect(sockets_, &QWebSocketServer::newConnection, this, [this] {
    while (QWebSocket* ws = sockets_->nextPendingConnection()) {
      ws->setParent(this);
      auto up = upgrades_.find(peerKey(ws->peerAddress(), ws->peerPort()));
      if (up == upgrades_.end()) {
        ws->abort();
        ws->deleteLater();
        continue;
      }
      watchers_[ws] = Watcher{up->second};
      upgrades_.erase(up);
      paceRefresh();
      ws->setMaxAllowedIncomingFrameSize(1024);
      ws->setMaxAllowedIncomingMessageSize(1024);
      QObject::connect(ws, &QWebSocket::disconnected, this, [this, ws] {
        watchers_.erase(ws);
        paceRefresh();
        ws->deleteLater();
      });
      // The page sends nothing; anything it does send is read and dropped.
      QObject::connect(ws, &QWebSocket::textMessageReceived, ws, [](const QString&) {});
      std::string text = "{\"type\":\"status\"," + statusMembers(hooks_.status(), nowMs()) + "}";
      ws->sendTextMessage(QString::fromStdString(text));
    }
  });
  // Changes that raise no event (the call's state, the counters, the audio levels) are asked for: often enough for
  // the meters to move while a page watches, once a second for /metrics and /api/status while none does.
  refresh_ = new QTimer(this);
  QObject::connect(refresh_, &QTimer::timeout, this, [this] {
    if (hooks_.refresh) hooks_.refresh();
  });
  paceRefresh();
  return true;
}

void WebServer::paceRefresh() {
  const int interval = watchers_.empty() ? 1000 : 200;
  if (refresh_ && (refresh_->interval() != interval || !refresh_->isActive())) refresh_->start(interval);
}

void WebServer::statusChanged() {
  if (broadcastQueued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        broadcastQueued_ = false;
        broadcast();
      },
      Qt::QueuedConnection);
}

void WebServer::broadcast() {
  if (watchers_.empty()) return;
  std::string text = "{\"type\":\"status\"," + statusMembers(hooks_.status(), nowMs()) + "}";
  auto now = WebSessions::Clock::now();
  QString message = QString::fromStdString(text);
  std::vector<QWebSocket*> expired;
  for (auto& [ws, watcher] : watchers_) {
    if (!watcher.session.empty() && !sessions_.alive(watcher.session, now)) {
      expired.push_back(ws);
      continue;
    }
    // A page that does not read its messages is not queued for without end.
    if (ws->bytesToWrite() > 256 * 1024) {
      expired.push_back(ws);
      continue;
    }
    ws->sendTextMessage(message);
  }
  for (QWebSocket* ws : expired) {
    watchers_.erase(ws);
    ws->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("session ended"));
  }
  if (!expired.empty()) paceRefresh();
}

void WebServer::accept() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    std::string address = socket->peerAddress().toString().toStdString();
    if (static_cast<int>(pending_.size()) >= config_.maxConnections || perAddress_[address] >= config_.maxPerAddress) {
      if (perAddress_[address] == 0) perAddress_.erase(address);
      socket->abort();
      socket->deleteLater();
      continue;
    }
    ++perAddress_[address];
    // The request's head and body are all a connection may buffer; the rest waits in the kernel.
    socket->setReadBufferSize(static_cast<qint64>(config_.limits.head + config_.limits.body + 1));
    auto pending = std::make_unique<Pending>();
    pending->address = address;
    pending->deadline.setSingleShot(true);
    QObject::connect(&pending->deadline, &QTimer::timeout, socket, [this, socket] {
      auto it = pending_.find(socket);
      if (it == pending_.end() || it->second->answered) return socket->abort();
      it->second->answered = true;
      send(socket, error(408, "the request did not arrive in time"));
    });
    pending->deadline.start(config_.requestDeadline);
    pending_[socket] = std::move(pending);
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
      auto it = pending_.find(socket);
      if (it != pending_.end()) {
        if (--perAddress_[it->second->address] <= 0) perAddress_.erase(it->second->address);
        pending_.erase(it);
      }
      socket->deleteLater();
    });
    if (socket->bytesAvailable() > 0) readFrom(socket);
  }
}

void WebServer::readFrom(QTcpSocket* socket) {
  auto it = pending_.find(socket);
  if (it == pending_.end() || it->second->answered) {
    socket->read(socket->bytesAvailable());  // a request after the answer is read over
    return;
  }
  Pending& pending = *it->second;
  QByteArray data = socket->peek(static_cast<qint64>(config_.limits.head + config_.limits.body + 1));
  HttpRequest request;
  HeadParse head =
      parseHead(std::string_view(data.constData(), static_cast<std::size_t>(data.size())), request, config_.limits);
  if (head.kind == HeadParse::Kind::More) {
    // A full buffer without the head's end: the head is too large whatever follows.
    if (data.size() > static_cast<qsizetype>(config_.limits.head)) {
      pending.answered = true;
      send(socket, error(431, "the request's head is too large"));
    }
    return;
  }
  if (head.kind == HeadParse::Kind::Failed) {
    pending.answered = true;
    send(socket, error(head.status, reason(head.status)));
    return;
  }
  if (request.path == "/ws") {
    pending.answered = true;
    upgrade(socket, request);
    return;
  }
  if (static_cast<std::size_t>(data.size()) < head.length + request.contentLength) return;  // the body is on its way
  socket->read(static_cast<qint64>(head.length));
  request.body = socket->read(static_cast<qint64>(request.contentLength)).toStdString();
  pending.answered = true;
  bool deferred = false;
  Response response = handle(request, pending.address, socket, deferred);
  if (!deferred) send(socket, response, request.method == "HEAD");
}

void WebServer::upgrade(QTcpSocket* socket, const HttpRequest& request) {
  if (!request.webSocketUpgrade()) return send(socket, error(400, "/ws takes a WebSocket"));
  if (!sameOrigin(request)) return send(socket, error(403, "another site's page cannot watch this node"));
  auto session = sessionOf(request);
  if (!session && !config_.settings.publicStatus) return send(socket, error(401, "log in first"));
  if (static_cast<int>(watchers_.size() + upgrades_.size()) >= config_.maxWebSockets)
    return send(socket, error(503, "too many pages are open"));
  // From here Qt WebSockets owns the connection: our reading stops, and the handshake is still unread.
  auto it = pending_.find(socket);
  if (it != pending_.end()) {
    if (--perAddress_[it->second->address] <= 0) perAddress_.erase(it->second->address);
    pending_.erase(it);
  }
  QObject::disconnect(socket, nullptr, this, nullptr);
  socket->setReadBufferSize(0);
  // The WebSocket server announces the connection after the handshake: it is known again by its peer's address.
  std::string key = peerKey(socket->peerAddress(), socket->peerPort());
  upgrades_[key] = session ? session->id : "";
  QTimer::singleShot(config_.requestDeadline, this, [this, key] { upgrades_.erase(key); });  // a failed handshake
  sockets_->handleConnection(socket);
}

WebServer::Response WebServer::error(int status, const std::string& message) {
  return {status, "application/json", "{\"error\":" + jsonQuote(message) + "}", {}};
}

std::optional<WebSessions::Session> WebServer::sessionOf(const HttpRequest& request) {
  std::string id = request.cookie(kCookie);
  if (id.empty() || id.size() > 128) return std::nullopt;
  return sessions_.find(id, WebSessions::Clock::now());
}

// A browser names the page a request comes from in Origin; one from another site is refused. (The session cookie is
// SameSite=Strict as well; this also covers a WebSocket, which no CORS check guards.) No Origin: not a browser page.
bool WebServer::sameOrigin(const HttpRequest& request) const {
  std::string origin = request.header("origin");
  if (origin.empty()) return true;
  auto scheme = origin.find("://");
  if (scheme == std::string::npos) return false;
  return lowerCopy(origin.substr(scheme + 3)) == lowerCopy(request.header("host"));
}

void WebServer::send(QTcpSocket* socket, const Response& r, bool headOnly) {
  std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
  head += "Content-Type: " + r.type + "\r\n";
  head += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
  head += "Connection: close\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
  head += "X-Frame-Options: DENY\r\nReferrer-Policy: no-referrer\r\n";
  head += "Content-Security-Policy: default-src 'self'; connect-src 'self' ws: wss:; frame-ancestors 'none'\r\n";
  if (config_.settings.tls()) head += "Strict-Transport-Security: max-age=31536000\r\n";
  for (const std::string& h : r.headers) head += h + "\r\n";
  head += "\r\n";
  socket->write(head.data(), static_cast<qint64>(head.size()));
  if (!headOnly) socket->write(r.body.data(), static_cast<qint64>(r.body.size()));
  socket->disconnectFromHost();  // after what was written has gone
}

WebServer::Response WebServer::handle(const HttpRequest& request, const std::string& address, QTcpSocket* socket,
                                      bool& deferred) {
  const std::string& path = request.path;
  const bool get = request.method == "GET" || request.method == "HEAD";
  for (const StaticFile& f : kStaticFiles) {
    if (path != f.path) continue;
    if (!get) return error(405, "GET only");
    QFile file(QString::fromLatin1(f.resource));
    if (!file.open(QIODevice::ReadOnly)) return error(404, "not found");
    return {200, f.type, file.readAll().toStdString(), {}};
  }
  if (path == "/metrics") {
    if (!get) return error(405, "GET only");
    if (config_.settings.metricsToken.empty()) return error(404, "metrics are off (MetricsToken is empty)");
    if (!tokenEquals(request.header("authorization"), "Bearer " + config_.settings.metricsToken))
      return {401, "application/json", "{\"error\":\"wrong or missing token\"}", {"WWW-Authenticate: Bearer"}};
    return {200, "text/plain; version=0.0.4; charset=utf-8", metricsText(hooks_.status(), nowMs()), {}};
  }
  if (path.rfind("/api/", 0) != 0) return error(404, "not found");
  if (!sameOrigin(request)) return error(403, "another site's page cannot use this node");
  if (path == "/api/status") {
    if (!get) return error(405, "GET only");
    if (!sessionOf(request) && !config_.settings.publicStatus) return error(401, "log in first");
    return {200, "application/json", statusJson(hooks_.status(), nowMs()), {}};
  }
  if (path == "/api/session") {
    if (!get) return error(405, "GET only");
    auto session = sessionOf(request);
    std::string pub = config_.settings.publicStatus ? "true" : "false";
    if (!session) return {401, "application/json", "{\"error\":\"log in first\",\"publicStatus\":" + pub + "}", {}};
    return {200,
            "application/json",
            "{\"user\":" + jsonQuote(session->user) + ",\"role\":\"" + UserStore::roleName(session->role) +
                "\",\"csrfToken\":\"" + session->csrf + "\",\"publicStatus\":" + pub + "}",
            {}};
  }
  if (path == "/api/history") {
    if (!get) return error(405, "GET only");
    if (!sessionOf(request)) return error(401, "log in first");
    return history(request);
  }
  if (path == "/api/statistics") {
    if (!get) return error(405, "GET only");
    if (!sessionOf(request)) return error(401, "log in first");
    return statistics();
  }
  if (path == "/api/settings" && request.method == "GET") return settings(request, socket, deferred);
  if (request.method != "POST") {
    if (path == "/api/login" || path == "/api/logout" || path == "/api/command") return error(405, "POST only");
    if (path == "/api/settings") return error(405, "GET or POST only");
    return error(404, "not found");
  }
  // JSON only: a form on another site cannot send it without asking first, and nobody here answers that question.
  if (lowerCopy(request.header("content-type")).rfind("application/json", 0) != 0)
    return error(415, "send application/json");
  if (path == "/api/login") return login(request, address);
  if (path == "/api/logout") {
    auto session = sessionOf(request);
    if (!session) return error(401, "log in first");
    if (!WebSessions::csrfMatches(*session, request.header("x-csrf-token"))) return error(403, "wrong CSRF token");
    sessions_.logout(session->id);
    return {200, "application/json", "{}", {std::string("Set-Cookie: ") + kCookie + "=; Path=/; Max-Age=0"}};
  }
  if (path == "/api/command") return command(request, socket, deferred);
  if (path == "/api/settings") return settings(request, socket, deferred);
  return error(404, "not found");
}

WebServer::Response WebServer::login(const HttpRequest& request, const std::string& address) {
  auto json = JsonObject::parse(request.body);
  if (!json) return error(400, "send {\"user\": NAME, \"password\": PASSWORD}");
  std::string user = json->text("user"), password = json->text("password");
  if (user.empty() || password.empty()) return error(400, "send {\"user\": NAME, \"password\": PASSWORD}");
  std::string who = UserStore::validName(user) ? user : "(an unknown name)";
  auto result = sessions_.login(address, user, password, WebSessions::Clock::now());
  if (result.status == 429) return error(429, "too many wrong passwords: try again later");
  if (result.status != 200) {
    hooks_.log("wrong password for " + who + " from " + address);
    return error(401, "wrong user name or password");
  }
  const WebSessions::Session& s = result.session;
  hooks_.log(s.user + " logged in from " + address);
  std::string cookie = std::string("Set-Cookie: ") + kCookie + "=" + s.id + "; Path=/; HttpOnly; SameSite=Strict";
  if (config_.settings.tls()) cookie += "; Secure";
  return {200,
          "application/json",
          "{\"csrfToken\":\"" + s.csrf + "\",\"user\":" + jsonQuote(s.user) + ",\"role\":\"" +
              UserStore::roleName(s.role) + "\"}",
          {cookie}};
}

WebServer::Response WebServer::command(const HttpRequest& request, QTcpSocket* socket, bool& deferred) {
  auto session = sessionOf(request);
  if (!session) return error(401, "log in first");
  if (!WebSessions::csrfMatches(*session, request.header("x-csrf-token"))) return error(403, "wrong CSRF token");
  auto json = JsonObject::parse(request.body);
  std::string name = json ? json->text("command") : "";
  if (!RemoteControl::known(name)) return error(400, "unknown command");
  if (session->role == Role::Viewer) {
    hooks_.log(session->user + " (viewer) was refused " + name);
    return error(403, "a viewer cannot give commands");
  }
  // Only a station the node lists can be named: nothing else from the request reaches the node or the log.
  std::string station;
  if (name == "disconnect") {
    const std::vector<std::string> listed = hooks_.status().stations;
    station = json->text("station");
    if (std::find(listed.begin(), listed.end(), station) == listed.end())
      return error(400, "no such station is connected");
  }
  // Answered once the program has carried it out (it may be speaking: the answer then waits for the end).
  deferred = true;
  hooks_.command(session->user, name, station, [answer = answerLater(socket)] {
    answer({200, "application/json", "{\"done\":true}", {}});
  });
  return {};
}

std::function<void(WebServer::Response)> WebServer::answerLater(QTcpSocket* socket) {
  QPointer<QTcpSocket> target(socket);
  return [this, target](Response response) {
    QMetaObject::invokeMethod(
        this,
        [this, target, response] {
          if (target) send(target, response);
        },
        Qt::QueuedConnection);
  };
}

WebServer::Response WebServer::settings(const HttpRequest& request, QTcpSocket* socket, bool& deferred) {
  auto session = sessionOf(request);
  if (!session) return error(401, "log in first");
  const bool change = request.method == "POST";
  if (change && !WebSessions::csrfMatches(*session, request.header("x-csrf-token")))
    return error(403, "wrong CSRF token");
  if (session->role != Role::Admin) {
    if (change)
      hooks_.log(session->user + " (" + UserStore::roleName(session->role) + ") was refused a settings change");
    return error(403, "only an admin sees and changes the settings");
  }
  if (!hooks_.settings) return error(503, "the settings cannot be reached");
  std::optional<SettingChange> asked;
  if (change) {
    auto json = JsonObject::parse(request.body);
    const JsonValue* value = json ? json->find("value") : nullptr;
    if (!json || json->text("file").empty() || json->text("key").empty() || !value ||
        value->kind != JsonValue::Kind::String)
      return error(400, "send {\"file\": FILE, \"key\": KEY, \"value\": TEXT}");
    asked = SettingChange{json->text("file"), json->text("key"), value->text};
  }
  deferred = true;
  hooks_.settings(session->user, asked, [answer = answerLater(socket)](int status, std::string body) {
    answer({status, "application/json", std::move(body), {}});
  });
  return {};
}

WebServer::Response WebServer::history(const HttpRequest& request) {
  std::string filter = lowerCopy(request.queryParameter("q"));
  if (filter.size() > 200) return error(400, "the filter is too long");
  const std::string text = readTail(config_.historyFile, kHistoryTail);
  std::deque<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    start = nl + 1;
    if (line.empty() || (!filter.empty() && lowerCopy(line).find(filter) == std::string::npos)) continue;
    lines.push_front(std::move(line));
    if (lines.size() > kHistoryLines) lines.pop_back();
  }
  std::string body = "{\"lines\":[";
  for (std::size_t i = 0; i < lines.size(); ++i) body += (i ? "," : "") + jsonQuote(lines[i]);
  body += "]}";
  return {200, "application/json", body, {}};
}

WebServer::Response WebServer::statistics() {
  // The rotated log first, so that the lines run oldest first; together at most kStatisticsTail bytes.
  std::string text;
  if (!config_.historyFile.empty()) {
    text = readTail(config_.historyFile, kStatisticsTail);
    std::filesystem::path older = config_.historyFile;
    older += ".1";
    if (text.size() < kStatisticsTail) text = readTail(older, kStatisticsTail - text.size()) + "\n" + text;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  return {200, "application/json", statisticsJson(countHistory(text, stamp)), {}};
}

}  // namespace qm::web
