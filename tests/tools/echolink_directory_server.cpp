#include "echolink_directory_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

EchoLinkDirectoryServer::EchoLinkDirectoryServer(const std::string& address, int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return;
  }
  listenFd_ = fd;
  if (::pipe(wake_) != 0) return;
  thread_ = std::thread([this] { run(); });
}

EchoLinkDirectoryServer::~EchoLinkDirectoryServer() {
  if (thread_.joinable()) {
    char c = 'q';
    (void)!::write(wake_[1], &c, 1);
    thread_.join();
  }
  for (int fd : {listenFd_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

void EchoLinkDirectoryServer::setPassword(const std::string& call, const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  passwords_[call] = password;
}

void EchoLinkDirectoryServer::addStation(const std::string& call, const std::string& address, int id,
                                         const std::string& location) {
  std::lock_guard<std::mutex> lock(mutex_);
  stations_[call] = Entry{address, location, id};
}

std::vector<EchoLinkDirectoryServer::Login> EchoLinkDirectoryServer::logins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logins_;
}

int EchoLinkDirectoryServer::loginCount(const std::string& call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(
      std::count_if(logins_.begin(), logins_.end(), [&](const Login& l) { return l.call == call; }));
}

int EchoLinkDirectoryServer::nodeNumber(const std::string& call) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = stations_.find(call);
  return it == stations_.end() ? 0 : it->second.id;
}

void EchoLinkDirectoryServer::run() {
  for (;;) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) continue;
    if (p[1].revents) return;
    if (!(p[0].revents & POLLIN)) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC);
    if (fd < 0) continue;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    serve(fd, text);
    ::close(fd);
  }
}

void EchoLinkDirectoryServer::serve(int fd, const std::string& peer) {
  std::string in;
  // A login is complete after its third CR; a list request is the one letter.
  for (;;) {
    if (!in.empty() && in[0] == 's') break;
    if (!in.empty() && in[0] == 'l' && std::count(in.begin(), in.end(), '\r') >= 3) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return;
    char buf[512];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return;
    in.append(buf, static_cast<std::size_t>(n));
  }
  std::string reply;
  if (in[0] == 's') {
    ++listRequests_;
    reply = list(peer);
  } else {
    Login l;
    std::size_t marks = in.find("\xAC\xAC");
    std::size_t cr1 = in.find('\r'), cr2 = in.find('\r', cr1 + 1), cr3 = in.find('\r', cr2 + 1);
    if (marks == std::string::npos || marks > cr1) return;
    l.call = in.substr(1, marks - 1);
    l.password = in.substr(marks + 2, cr1 - marks - 2);
    l.status = in.substr(cr1 + 1, cr2 - cr1 - 1);
    l.location = in.substr(cr2 + 1, cr3 - cr2 - 1);
    l.address = peer;
    std::lock_guard<std::mutex> lock(mutex_);
    logins_.push_back(l);
    auto pw = passwords_.find(l.call);
    bool refused = pw != passwords_.end() && pw->second != l.password;
    refusedAddresses_[peer] = refused;
    if (refused || l.status.starts_with("OFF")) {
      stations_.erase(l.call);
    } else {
      auto it = stations_.find(l.call);
      int id = it == stations_.end() ? nextId_++ : it->second.id;
      stations_[l.call] = Entry{peer, l.location, id, l.status.starts_with("BUSY")};
    }
    reply = "OK";
  }
  (void)!::write(fd, reply.data(), reply.size());
}

std::string EchoLinkDirectoryServer::list(const std::string& peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string body;
  int count = 0;
  if (refusedAddresses_[peer]) {
    body += " \nINCORRECT PASSWORD\n0\n0.0.0.0\n";
    ++count;
  }
  for (const auto& [call, e] : stations_) {
    body += call + "\n" + e.location + " [" + (e.busy ? "BUSY" : "ON") + " 03:25]\n" + std::to_string(e.id) + "\n" +
            e.address + "\n";
    ++count;
  }
  return "@@@\n" + std::to_string(count) + "\n" + body + "+++";
}
