#include "echolink_net/udp_guard.h"

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "echolink_net/packet_check.h"

namespace qm::echolink_net {
namespace {

std::atomic<int> guardedBase{0};
std::atomic<std::uint64_t> seenCount{0}, droppedCount{0};

using RecvFrom = ssize_t (*)(int, void*, size_t, int, sockaddr*, socklen_t*);

RecvFrom realRecvFrom() {
  static const auto real = reinterpret_cast<RecvFrom>(dlsym(RTLD_NEXT, "recvfrom"));
  return real;
}

// 0 for another socket, else the guarded port the socket is bound to.
int guardedPort(int fd) {
  int base = guardedBase.load(std::memory_order_relaxed);
  if (base == 0) return 0;
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.ss_family != AF_INET) return 0;
  int port = ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
  if (port != base && port != base + 1) return 0;
  int type = 0;
  socklen_t typeLength = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_DGRAM) return 0;
  return port;
}

bool safe(int port, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return port == guardedBase.load(std::memory_order_relaxed) ? audioDatagramSafe(bytes, size)
                                                             : controlDatagramSafe(bytes, size);
}

}  // namespace

void guardEchoLinkPorts(int portBase) {
  guardedBase = portBase;
}

GuardCounts guardCounts() {
  return {seenCount.load(), droppedCount.load()};
}

}  // namespace qm::echolink_net

// The library's reads, checked. An unsafe datagram is dropped and the next one waiting is read instead; when none
// waits, the library is handed an empty datagram of zeros from the same sender, which it only names as spurious.
extern "C" ssize_t recvfrom(int fd, void* buf, size_t size, int flags, sockaddr* from, socklen_t* fromLength) {
  using namespace qm::echolink_net;
  RecvFrom real = realRecvFrom();
  ssize_t got = real(fd, buf, size, flags, from, fromLength);
  if (got < 0 || (flags & MSG_PEEK) != 0) return got;
  int port = guardedPort(fd);
  if (port == 0) return got;
  socklen_t lengthGiven = fromLength != nullptr ? *fromLength : 0;
  for (int tries = 0; tries < 64; ++tries) {
    ++seenCount;
    // A datagram larger than the buffer was cut: never whole, never safe.
    if (static_cast<std::size_t>(got) < size && safe(port, buf, static_cast<std::size_t>(got))) return got;
    ++droppedCount;
    std::memset(buf, 0, std::min(size, static_cast<std::size_t>(got) + 8));
    sockaddr_storage next{};
    socklen_t nextLength = sizeof next;
    int saved = errno;
    ssize_t again = real(fd, buf, size, flags | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&next), &nextLength);
    if (again < 0) {
      errno = saved;
      return 0;  // `from` still names the dropped datagram's sender
    }
    got = again;
    if (from != nullptr && fromLength != nullptr) {
      std::memcpy(from, &next, std::min(lengthGiven, nextLength));
      *fromLength = nextLength;
    }
  }
  std::memset(buf, 0, std::min(size, static_cast<std::size_t>(got) + 8));
  return 0;
}
