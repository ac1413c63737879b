// A station's datagrams from the internet, through the node's whole receive path: the recvfrom() guard, then
// libecholib's own parsing (its dispatcher, and a station's connection, on loopback sockets), then the network's text
// handling. The first byte picks the way: bit 0 the port (audio, control), bit 1 the sender (the connected station on
// 127.0.0.2, or an unknown one on 127.0.0.3); with bit 7 set the rest goes to the access rules and texts instead.
// Every control datagram the guard lets through is also handed to the library's RTCP parsing directly, placed at the
// end of a page that is followed by an unreadable one, so that any read past the datagram faults.
#include <AsyncApplication.h>
#include <AsyncFdWatch.h>
#include <AsyncIpAddress.h>
#include <AsyncTimer.h>
#include <EchoLinkDispatcher.h>
#include <EchoLinkQso.h>
#include <arpa/inet.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "echolink_net/access_policy.h"
#include "echolink_net/echolink_net_settings.h"
#include "echolink_net/echolink_text.h"
#include "echolink_net/node_commands.h"
#include "echolink_net/packet_check.h"
#include "echolink_net/udp_guard.h"

// libecholib's RTCP parsing, exported by the library without a header of its own.
bool isRTCPByepacket(unsigned char* p, int len);
bool isRTCPSdespacket(unsigned char* p, int len);
bool parseSDES(char* r_text, unsigned char* packet, unsigned char r_item);

namespace {

constexpr int kPortBase = 46198;
constexpr unsigned char kSdesName = 2, kSdesPriv = 8;

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// An event loop that runs one round at a time: the read and write watches whose descriptors are ready now, then the
// timers that are due.
class StepApplication : public Async::Application {
 public:
  using Clock = std::chrono::steady_clock;
  void exec() override {}
  void quit() override {}
  void step() {
    std::vector<pollfd> fds;
    for (const auto& [key, watch] : watches_)
      fds.push_back({key.first, static_cast<short>(key.second == Async::FdWatch::FD_WATCH_RD ? POLLIN : POLLOUT), 0});
    if (!fds.empty()) ::poll(fds.data(), fds.size(), 0);
    for (const pollfd& p : fds) {
      if ((p.revents & (POLLIN | POLLOUT | POLLERR)) == 0) continue;
      auto type = (p.events & POLLIN) != 0 ? Async::FdWatch::FD_WATCH_RD : Async::FdWatch::FD_WATCH_WR;
      auto it = watches_.find({p.fd, type});
      if (it != watches_.end()) it->second->activity(it->second);
    }
    auto now = Clock::now();
    std::vector<Async::Timer*> due;
    for (const auto& [timer, when] : timers_)
      if (when <= now) due.push_back(timer);
    for (Async::Timer* t : due) {
      auto it = timers_.find(t);
      if (it == timers_.end()) continue;  // an earlier one's handler stopped it
      if (t->type() == Async::Timer::TYPE_PERIODIC)
        it->second = now + std::chrono::milliseconds(t->timeout());
      else
        timers_.erase(it);
      t->expired(t);
    }
  }

 private:
  void addFdWatch(Async::FdWatch* w) override { watches_[{w->fd(), w->type()}] = w; }
  void delFdWatch(Async::FdWatch* w) override {
    auto it = watches_.find({w->fd(), w->type()});
    if (it != watches_.end() && it->second == w) watches_.erase(it);
  }
  void addTimer(Async::Timer* t) override { timers_[t] = Clock::now() + std::chrono::milliseconds(t->timeout()); }
  void delTimer(Async::Timer* t) override { timers_.erase(t); }
  Async::DnsLookupWorker* newDnsLookupWorker(const std::string&) override { return nullptr; }

  std::map<std::pair<int, Async::FdWatch::FdWatchType>, Async::FdWatch*> watches_;
  std::map<Async::Timer*, Clock::time_point> timers_;
};

int boundSocket(const char* address) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  ::inet_pton(AF_INET, address, &at.sin_addr);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) std::abort();
  return fd;
}

bool visibleOnly(const std::string& text, const char* keep) {
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if ((b < 0x20 && std::strchr(keep, b) == nullptr) || b == 0x7F) return false;
  }
  return text.find("\xC2\x9B") == std::string::npos;  // CSI as UTF-8 writes it
}

// The node's side: the library's dispatcher on 127.0.0.1 and a connection to the station on 127.0.0.2, made anew
// whenever a datagram has ended it.
struct Node {
  StepApplication app;
  int station = boundSocket("127.0.0.2");
  int stranger = boundSocket("127.0.0.3");
  std::unique_ptr<EchoLink::Qso> qso;
  std::uint8_t* guarded = nullptr;  // a page, then an unreadable one
  std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

  Node() {
    qm::echolink_net::guardEchoLinkPorts(kPortBase);
    EchoLink::Dispatcher::setPortBase(kPortBase);
    EchoLink::Dispatcher::setBindAddr(Async::IpAddress("127.0.0.1"));
    if (EchoLink::Dispatcher::instance() == nullptr) std::abort();
    EchoLink::Dispatcher::instance()->incomingConnection.connect(
        [](const Async::IpAddress&, const std::string& call, const std::string& name, const std::string&) {
          check(qm::echolink_net::stationName(call).size() <= 64);
          check(visibleOnly(qm::echolink_net::stationName(name), ""));
        });
    void* pages = ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) std::abort();
    guarded = static_cast<std::uint8_t*>(pages);
    ::mprotect(guarded + page, page, PROT_NONE);
  }

  void connectStation() {
    if (qso && qso->currentState() != EchoLink::Qso::STATE_DISCONNECTED) return;
    qso.reset();
    app.step();  // what the last connection left to do
    qso = std::make_unique<EchoLink::Qso>(Async::IpAddress("127.0.0.2"), "N0QM-L", "Fuzz", "Fuzz node\n");
    qso->chatMsgReceived.connect([](const std::string& m) { check(visibleOnly(qm::echolink_net::chatLine(m), "")); });
    qso->infoMsgReceived.connect(
        [](const std::string& m) { check(visibleOnly(qm::echolink_net::stationText(m), "\r\t")); });
    qso->accept();
  }

  // The library's RTCP parsing on the datagram alone, as its dispatcher and connections call it.
  void parseAlone(const std::uint8_t* data, std::size_t size) {
    if (size > page) return;
    std::uint8_t* at = guarded + page - size;
    std::memcpy(at, data, size);
    if (isRTCPByepacket(at, static_cast<int>(size))) return;
    if (!isRTCPSdespacket(at, static_cast<int>(size))) return;
    char text[256];
    parseSDES(text, at, kSdesName);
    parseSDES(text, at, kSdesPriv);
  }

  void send(bool control, bool fromStation, const std::uint8_t* data, std::size_t size) {
    connectStation();
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(kPortBase + (control ? 1 : 0)));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    auto before = qm::echolink_net::guardCounts().seen;
    if (::sendto(fromStation ? station : stranger, data, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
      return;  // larger than a datagram
    for (int i = 0; i < 100 && qm::echolink_net::guardCounts().seen == before; ++i) app.step();
    check(qm::echolink_net::guardCounts().seen > before);
    bool safe =
        control ? qm::echolink_net::controlDatagramSafe(data, size) : qm::echolink_net::audioDatagramSafe(data, size);
    if (safe && control) parseAlone(data, size);
    app.step();  // the tasks the datagram left (a connection's goodbye)
  }
};

void accessAndTexts(const std::uint8_t* data, std::size_t size) {
  using namespace qm::echolink_net;
  std::vector<std::string> part(6);
  std::size_t i = 0;
  for (std::size_t n = 0; n < size; ++n) {
    if (data[n] == 0 && i + 1 < part.size())
      ++i;
    else
      part[i] += static_cast<char>(data[n]);
  }
  EchoLinkNetSettings settings;
  settings.allowCalls = qm::splitList(part[0]);
  settings.denyCalls = {part[0]};
  settings.maxStations = 1 + static_cast<int>(size % 5);
  settings.refuseWhileBusy = size % 2 == 0;
  for (const std::string& p : settings.allowCalls) callsignMatches(p, part[1]);
  AccessContext context{static_cast<int>(size % 7), size % 3 == 0, size % 4 != 0, part[2]};
  AccessDecision d = decideIncoming({part[1], part[2]}, context, settings, size % 2 == 1);
  check(!(d.accept && d.askDirectory));
  check(d.accept || d.askDirectory || !d.reason.empty());
  if (d.accept || d.askDirectory) check(plausibleCallsign(part[1]));
  std::string name = stationName(part[1]);
  check(name.size() <= 64 && visibleOnly(name, ""));
  std::string chat = chatLine(part[3]);
  check(chat.size() <= 1024 && visibleOnly(chat, ""));
  std::string sent = chatToSend(part[3]);
  check(sent.size() <= 1000 && sent.find_first_of("\r\n") == std::string::npos);
  std::string info = stationText(part[4], 4096);
  check(info.size() <= 4096 && visibleOnly(info, "\r\t"));
  auto command = parseNodeCommand(part[5], settings, [](const std::string& s) { return s == "DD"; });
  if (command) check(part[5] != "DD");
  std::vector<std::string> problems;
  readEchoLinkSettings(qm::ProfileFile::parse(part[3]), "fuzz.ini", problems);
}

}  // namespace

// What libecholib 19.09 itself leaks (a sigc++ slot of a timer it deletes inside its own signal), as the loopback
// test suppresses it; the library shows in the stack only with the slow unwinder.
extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0";
}
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libecholib.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if ((data[0] & 0x80) != 0) {
    accessAndTexts(data + 1, size - 1);
    return 0;
  }
  static Node node;
  node.send((data[0] & 1) != 0, (data[0] & 2) == 0, data + 1, size - 1);
  return 0;
}
