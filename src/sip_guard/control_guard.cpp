// Loaded (LD_PRELOAD) into the baresip that Quillmere runs, and into nothing else: baresip's control port (ctrl_tcp
// on 127.0.0.1) takes commands from whoever connects, without a password, so any local user could place calls on the
// station's account through it. This library wraps accept() and accept4(): a connection to the guarded port
// (QUILLMERE_CONTROL_PORT) is kept only when the connecting socket belongs to the Quillmere process that started
// baresip (QUILLMERE_CONTROL_OWNER, its pid): the kernel's socket table (/proc/net/tcp, tcp6) names the inode of the
// socket at the other end of the connection, and that inode must be among the owner's open files (/proc/PID/fd).
// Anything else is closed at once and the accept reports EAGAIN, which baresip's libre takes as "nothing to accept".
// A connection that cannot be traced (the table unreadable, the socket already gone) is refused too.
//
// Plain libc only: it runs inside another program, before and beside everything it does.
#include <arpa/inet.h>
#include <dirent.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using AcceptFn = int (*)(int, sockaddr*, socklen_t*);
using Accept4Fn = int (*)(int, sockaddr*, socklen_t*, int);

// An address as /proc/net/tcp6 prints it: four 32-bit words in the kernel's byte order, and the port.
struct Endpoint {
  unsigned words[4];
  unsigned port;
};

bool endpointOf(const sockaddr_storage& s, Endpoint& e) {
  std::memset(&e, 0, sizeof e);
  if (s.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(s);
    e.words[3] = in.sin_addr.s_addr;
    e.port = ntohs(in.sin_port);
    return true;
  }
  if (s.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(s);
    std::memcpy(e.words, &in6.sin6_addr, sizeof e.words);
    e.port = ntohs(in6.sin6_port);
    return true;
  }
  return false;
}

int guardedPort() {
  const char* v = std::getenv("QUILLMERE_CONTROL_PORT");
  return v ? std::atoi(v) : 0;
}

long ownerPid() {
  const char* v = std::getenv("QUILLMERE_CONTROL_OWNER");
  long pid = v ? std::atol(v) : 0;
  return pid > 0 ? pid : static_cast<long>(getppid());
}

// Parses "HEX:HEX" of a /proc/net/tcp* line into an endpoint; `words` 1 (tcp) or 4 (tcp6).
bool parseEndpoint(const char* text, int words, Endpoint& e) {
  std::memset(&e, 0, sizeof e);
  for (int i = 0; i < words; ++i) {
    char chunk[9] = {};
    std::memcpy(chunk, text + 8 * i, 8);
    char* end = nullptr;
    unsigned long v = std::strtoul(chunk, &end, 16);
    if (end != chunk + 8) return false;
    e.words[words == 1 ? 3 : i] = static_cast<unsigned>(v);
  }
  if (text[8 * words] != ':') return false;
  char* end = nullptr;
  e.port = static_cast<unsigned>(std::strtoul(text + 8 * words + 1, &end, 16));
  return end && *end == 0;
}

// An IPv4 address in a tcp6 row is written v4-mapped (::ffff:a.b.c.d).
bool ipv4Form(const Endpoint& e, int words) {
  return words == 1 || (e.words[0] == 0 && e.words[1] == 0 && e.words[2] == htonl(0xffff));
}

bool same(const Endpoint& row, const Endpoint& e, bool v4, int words) {
  if (v4) return ipv4Form(row, words) && row.words[3] == e.words[3] && row.port == e.port;
  return std::memcmp(row.words, e.words, sizeof row.words) == 0 && row.port == e.port;
}

// The uid and inode of the socket whose own end is `local` and whose far end is `remote`, from one table.
bool findSocket(const char* table, int words, const Endpoint& local, const Endpoint& remote, bool v4, unsigned& uid,
                unsigned long& inode) {
  FILE* f = std::fopen(table, "re");
  if (!f) return false;
  char line[512];
  bool found = false;
  bool header = true;
  while (!found && std::fgets(line, sizeof line, f)) {
    if (header) {
      header = false;
      continue;
    }
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid  timeout inode"
    char localText[64], remoteText[64];
    unsigned st = 0, u = 0;
    unsigned long ino = 0;
    if (std::sscanf(line, " %*s %63s %63s %x %*s %*s %*s %u %*s %lu", localText, remoteText, &st, &u, &ino) != 5)
      continue;
    Endpoint l, r;
    if (!parseEndpoint(localText, words, l) || !parseEndpoint(remoteText, words, r)) continue;
    if (same(l, local, v4, words) && same(r, remote, v4, words) && ino != 0) {
      uid = u;
      inode = ino;
      found = true;
    }
  }
  std::fclose(f);
  return found;
}

bool ownerHolds(long pid, unsigned long inode) {
  char folder[64];
  std::snprintf(folder, sizeof folder, "/proc/%ld/fd", pid);
  DIR* d = opendir(folder);
  if (!d) return false;
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "socket:[%lu]", inode);
  bool held = false;
  while (dirent* entry = readdir(d)) {
    if (entry->d_name[0] == '.') continue;
    char link[320], target[64];
    std::snprintf(link, sizeof link, "%s/%s", folder, entry->d_name);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    if (std::strcmp(target, wanted) == 0) {
      held = true;
      break;
    }
  }
  closedir(d);
  return held;
}

// Whether the accepted connection `fd` may stay: anything but the guarded port may; the guarded port only from the
// owner's own socket.
bool allowed(int fd) {
  int port = guardedPort();
  if (port <= 0) return true;
  sockaddr_storage mine{}, peer{};
  socklen_t mineLen = sizeof mine, peerLen = sizeof peer;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &mineLen) != 0) return false;
  Endpoint local{}, far{};
  if (!endpointOf(mine, local)) return true;  // not a TCP/IP socket
  if (static_cast<int>(local.port) != port) return true;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0 || !endpointOf(peer, far)) return false;
  // The connecting socket's row: its own end is our peer, its far end is us.
  unsigned uid = 0;
  unsigned long inode = 0;
  bool v4 = mine.ss_family == AF_INET;
  bool found = v4 ? findSocket("/proc/net/tcp", 1, far, local, true, uid, inode) ||
                        findSocket("/proc/net/tcp6", 4, far, local, true, uid, inode)
                  : findSocket("/proc/net/tcp6", 4, far, local, false, uid, inode);
  bool ok = found && uid == getuid() && ownerHolds(ownerPid(), inode);
  if (!ok) {
    char text[200];
    int n = std::snprintf(text, sizeof text,
                          "quillmere control guard: refused a connection to the control port from port %u (%s)\n",
                          far.port, found ? (uid == getuid() ? "another process" : "another user") : "not traced");
    if (n > 0) (void)!write(2, text, static_cast<std::size_t>(n) < sizeof text ? n : sizeof text - 1);
  }
  return ok;
}

int screened(int fd) {
  if (fd < 0 || allowed(fd)) return fd;
  close(fd);
  errno = EAGAIN;
  return -1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int accept(int fd, sockaddr* addr, socklen_t* len) {
  static auto real = reinterpret_cast<AcceptFn>(dlsym(RTLD_NEXT, "accept"));
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  return screened(real(fd, addr, len));
}

extern "C" __attribute__((visibility("default"))) int accept4(int fd, sockaddr* addr, socklen_t* len, int flags) {
  static auto real = reinterpret_cast<Accept4Fn>(dlsym(RTLD_NEXT, "accept4"));
  if (!real) {
    errno = ENOSYS;
    return -1;
  }
  return screened(real(fd, addr, len, flags));
}
