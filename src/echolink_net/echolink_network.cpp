#include "echolink_net/echolink_network.h"

#include <AsyncApplication.h>
#include <AsyncAudioSink.h>
#include <AsyncIpAddress.h>
#include <AsyncTimer.h>
#include <EchoLinkDirectory.h>
#include <EchoLinkDispatcher.h>
#include <EchoLinkQso.h>
#include <EchoLinkStationData.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "echolink_net/access_policy.h"
#include "echolink_net/echolink_text.h"
#include "echolink_net/flood_limits.h"
#include "echolink_net/node_commands.h"
#include "echolink_net/udp_guard.h"

namespace qm::echolink_net {

using EchoLink::Qso;
using EchoLink::StationData;

const char* directoryStatusName(DirectoryStatus status) {
  switch (status) {
    case DirectoryStatus::Offline:
      return "offline";
    case DirectoryStatus::Online:
      return "online";
    case DirectoryStatus::Busy:
      return "busy";
    case DirectoryStatus::Unknown:
      break;
  }
  return "unknown";
}

namespace {

constexpr int kMaxLoginRetrySeconds = 30 * 60;
constexpr int kListWaitMs = 10000;    // how long a caller waits for a fresh directory list
constexpr int kRefusalHoldMs = 1000;  // a refused caller stays long enough to read why
constexpr int kLogoffWaitMs = 3000;
// The station list is fetched for unlisted callers at most this often, however many call: a caller who comes sooner
// waits for the next one (a calling station repeats its call for 50 s).
constexpr auto kListRefetch = std::chrono::seconds(10);
constexpr std::size_t kMostWaiting = 32;  // callers waiting for the list; later ones are judged on the list held
constexpr int kMostRefusing = 8;          // refused callers being told why at once; more are not answered
// A station's audio may run ahead of real time by this much (network jitter); what runs further ahead is dropped.
constexpr auto kAudioCushion = std::chrono::milliseconds(400);

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

DirectoryStatus fromLibrary(StationData::Status s) {
  switch (s) {
    case StationData::STAT_OFFLINE:
      return DirectoryStatus::Offline;
    case StationData::STAT_ONLINE:
      return DirectoryStatus::Online;
    case StationData::STAT_BUSY:
      return DirectoryStatus::Busy;
    default:
      return DirectoryStatus::Unknown;
  }
}

// Deletes a timer once the loop is back: deleting it inside its own expiry leaks with sigc++ (and libecholib's own
// timers do that), so our timers are retired this way.
void retire(std::unique_ptr<Async::Timer>& timer) {
  if (timer) Async::Application::app().runTask([t = std::shared_ptr<Async::Timer>(std::move(timer))] {});
}

// Takes a station's decoded audio (the library pushes it) and hands it on while the station holds the floor.
class StationSink : public Async::AudioSink {
 public:
  std::function<void(const float*, int)> onAudio;
  int writeSamples(const float* samples, int count) override {
    if (onAudio) onAudio(samples, count);
    return count;
  }
  void flushSamples() override { sourceAllSamplesFlushed(); }
};

struct Station {
  StationSink sink;  // before the connection: it outlives the connection that feeds it
  std::unique_ptr<Qso> qso;
  StationState state;
  std::string info;
  bool announced = false;    // connected() was raised
  bool refused = false;      // being turned away
  bool gone = false;         // disconnected, waiting to be deleted
  bool droppedTold = false;  // the log has heard that its audio runs ahead
  AudioBudget audio{INTERNAL_SAMPLE_RATE, kAudioCushion};
  std::unique_ptr<Async::Timer> refusalTimer;
};

struct Caller {
  Async::IpAddress ip;
  std::string call, name, priv;
};

}  // namespace

struct EchoLinkNetwork::Impl : public sigc::trackable {
  Impl(const EchoLinkNetSettings& s, const std::string& call, NetworkListener& l)
      : settings(s), callsign(upper(call)), out(l), retrySeconds(s.loginRetrySeconds) {}

  EchoLinkNetSettings settings;
  std::string callsign;
  NetworkListener& out;
  EchoLink::Dispatcher* dispatcher = nullptr;
  std::unique_ptr<EchoLink::Directory> directory;
  std::vector<std::unique_ptr<Station>> stations;  // in the order they came
  Station* floor = nullptr;
  std::unique_ptr<Async::Timer> rxHang;  // the floor's holder has gone quiet
  bool radioBusy = false;

  DirectoryStatus wanted = DirectoryStatus::Online;
  DirectoryStatus confirmed = DirectoryStatus::Offline;
  bool awaitingLogin = false;
  bool listFetched = false;
  bool loginFailing = false;
  bool loggedIn = false;  // the directory has taken a login at least once
  std::string lastLibraryError;
  std::string shownProblem;
  int retrySeconds;
  std::unique_ptr<Async::Timer> retryTimer;

  std::vector<Caller> waiting;  // callers waiting for a fresh directory list
  std::unique_ptr<Async::Timer> waitTimer;
  std::unique_ptr<Async::Timer> fetchTimer;  // the next list for callers, when it is not yet time for one
  std::optional<FloodClock::time_point> lastCallerFetch;
  ConnectLimiter connectLimiter;
  std::uint64_t audioDropped = 0;  // samples of stations that are gone; the others count in their budgets

  std::optional<Caller> lastGone;
  std::function<void()> shutdownDone;
  std::unique_ptr<Async::Timer> shutdownTimer;

  // libecholib's dispatcher is one per process, and setting its ports while it exists aborts the program.
  static inline Impl* running = nullptr;

  void start() {
    if (running != nullptr) {
      raiseProblem("Only one EchoLink network can run in the program: this one stays off.");
      return;
    }
    running = this;
    guardEchoLinkPorts(settings.portBase);
    EchoLink::Dispatcher::setPortBase(settings.portBase);
    EchoLink::Dispatcher::setBindAddr(bindIp());
    dispatcher = EchoLink::Dispatcher::instance();
    std::string where = settings.bindAddress.empty() ? "any address" : settings.bindAddress;
    if (dispatcher == nullptr) {
      raiseProblem("The EchoLink ports (UDP " + std::to_string(settings.portBase) + " and " +
                   std::to_string(settings.portBase + 1) + " on " + where +
                   ") cannot be opened: another EchoLink program may be using them, or BindAddress is not an "
                   "address of this machine. The node runs without the network.");
      return;
    }
    dispatcher->incomingConnection.connect(sigc::mem_fun(*this, &Impl::onIncoming));
    if (settings.servers.empty()) {
      out.remark("No directory servers are set: the node is not listed in the EchoLink directory.");
      return;
    }
    directory = std::make_unique<EchoLink::Directory>(settings.servers, callsign, settings.password, settings.location,
                                                      bindIp());
    directory->statusChanged.connect(sigc::mem_fun(*this, &Impl::onDirectoryStatus));
    directory->error.connect(sigc::mem_fun(*this, &Impl::onDirectoryError));
    directory->stationListUpdated.connect(sigc::mem_fun(*this, &Impl::onStationList));
    login();
  }

  Async::IpAddress bindIp() const {
    return settings.bindAddress.empty() ? Async::IpAddress() : Async::IpAddress(settings.bindAddress);
  }

  // --- the directory -------------------------------------------------------------------------------------------

  void login() {
    if (!directory) return;
    awaitingLogin = true;
    lastLibraryError.clear();
    StationData::Status now = directory->status();
    bool alreadyIn = now == StationData::STAT_ONLINE || now == StationData::STAT_BUSY;
    if (wanted == DirectoryStatus::Busy)
      directory->makeBusy();
    else
      directory->makeOnline();
    // The library raises no status change when the status stays the same: the list that follows the login is then
    // what tells whether the directory took it.
    if (alreadyIn) {
      awaitingLogin = false;
      directory->getCalls();
    }
  }

  void onDirectoryStatus(StationData::Status status) {
    DirectoryStatus s = fromLibrary(status);
    if (s == DirectoryStatus::Offline && shutdownDone) {
      finishShutdown();
      return;
    }
    if (awaitingLogin && (s == DirectoryStatus::Online || s == DirectoryStatus::Busy)) {
      awaitingLogin = false;
      directory->getCalls();  // fetches the list the callers are checked against, and proves the password
    } else if (s == DirectoryStatus::Unknown && !shutdownDone) {
      awaitingLogin = false;
      loginFailed(lastLibraryError.empty() ? "The EchoLink directory did not accept the login of " + callsign +
                                                 ". Check the callsign and the Password in quillmere_echolink.ini."
                                           : "The EchoLink directory cannot be reached (" + lastLibraryError +
                                                 "). The node goes on without it and tries again.");
    }
    confirm(s);
  }

  void onDirectoryError(const std::string& message) {
    std::string text = trimmed(message);
    if (text.find("INCORRECT PASSWORD") != std::string::npos) {
      passwordRefused();
      return;
    }
    lastLibraryError = visible(text, "", 512);  // the server's words, from the internet
    out.remark("EchoLink directory: " + lastLibraryError);
  }

  // The directory takes every login with "OK" and tells of a wrong password in the station list that follows, as a
  // message: libecholib 19.09 hands it over as the list's message, later versions as an error.
  void passwordRefused() {
    awaitingLogin = false;
    confirm(DirectoryStatus::Unknown);
    loginFailed("The EchoLink directory refused the login of " + callsign +
                ": incorrect password. Check Password in quillmere_echolink.ini; the node tries again.");
  }

  void confirm(DirectoryStatus s) {
    if (s == confirmed) return;
    confirmed = s;
    out.directoryStatus(s);
  }

  void onStationList() {
    if (directory->message().find("INCORRECT PASSWORD") != std::string::npos) {
      passwordRefused();
      return;
    }
    listFetched = true;
    confirm(fromLibrary(directory->status()));
    if (loginFailing || !loggedIn) out.remark("Logged in to the EchoLink directory as " + callsign + ".");
    loggedIn = true;
    loginFailing = false;
    shownProblem.clear();
    retrySeconds = settings.loginRetrySeconds;
    retryTimer.reset();
    resolveWaiting();
  }

  void loginFailed(const std::string& text) {
    loginFailing = true;
    if (text != shownProblem) raiseProblem(text);
    resolveWaiting();
    retryTimer = std::make_unique<Async::Timer>(retrySeconds * 1000);
    retryTimer->expired.connect(sigc::hide(sigc::mem_fun(*this, &Impl::login)));
    out.remark("Directory login tried again in " + std::to_string(retrySeconds) + " s.");
    retrySeconds = std::min(retrySeconds * 2, kMaxLoginRetrySeconds);
  }

  void raiseProblem(const std::string& text) {
    shownProblem = text;
    out.problem(text);
  }

  bool directoryUsable() const { return directory && listFetched && !loginFailing; }

  std::optional<std::string> listedAddress(const std::string& call) {
    if (!directoryUsable()) return std::nullopt;
    const StationData* s = directory->findCall(upper(call));
    if (s == nullptr) return std::nullopt;
    return s->ipStr();
  }

  void finishShutdown() {
    auto done = std::move(shutdownDone);
    shutdownDone = nullptr;
    retire(shutdownTimer);
    if (done) done();
  }

  // --- callers -----------------------------------------------------------------------------------------------

  int connectedCount() const {
    int n = 0;
    for (const auto& s : stations)
      if (!s->refused && !s->gone) ++n;
    return n;
  }

  Station* stationAt(const Async::IpAddress& ip) {
    for (auto& s : stations)
      if (s->qso->remoteIp() == ip) return s.get();
    return nullptr;
  }

  void onIncoming(const Async::IpAddress& ip, const std::string& call, const std::string& name,
                  const std::string& priv) {
    if (stationAt(ip) != nullptr) return;
    for (const Caller& c : waiting)
      if (c.ip == ip) return;                      // its next heartbeat while the list is fetched
    if (refusingCount() >= kMostRefusing) return;  // a flood of callers: those beyond are not answered
    decide(Caller{ip, call, stationName(name), priv},
           !directory || confirmed == DirectoryStatus::Unknown || loginFailing);
  }

  int refusingCount() const {
    int n = 0;
    for (const auto& s : stations)
      if (s->refused && !s->gone) ++n;
    return n;
  }

  void decide(const Caller& c, bool finalCheck) {
    AccessContext context{connectedCount(), radioBusy, directoryUsable(), listedAddress(c.call)};
    AccessDecision d = decideIncoming({c.call, c.ip.toString()}, context, settings, finalCheck);
    if (d.askDirectory) {
      bool loggedInNow = confirmed == DirectoryStatus::Online || confirmed == DirectoryStatus::Busy;
      if ((!loggedInNow && !awaitingLogin) || waiting.size() >= kMostWaiting) {
        decide(c, true);
        return;
      }
      waiting.push_back(c);
      if (loggedInNow)
        listForCallers();
      else
        awaitList();  // the list that follows the login decides
      return;
    }
    if (!d.accept) {
      addStation(c, false, true, d.reason);
      return;
    }
    // Each station taken is announced on the air: how often they may come is bounded.
    switch (connectLimiter.judge(upper(c.call), c.ip.toString(), FloodClock::now())) {
      case ConnectLimiter::Verdict::Take:
        addStation(c, false, false, "");
        break;
      case ConnectLimiter::Verdict::Refuse:
        addStation(c, false, true, connectLimiter.reason());
        break;
      case ConnectLimiter::Verdict::Ignore:
        break;
    }
  }

  // Callers from the internet never make the node fetch the whole list more than once in kListRefetch.
  void listForCallers() {
    if (waitTimer || fetchTimer) return;  // a list is on its way, or due
    auto now = FloodClock::now();
    if (lastCallerFetch && now - *lastCallerFetch < kListRefetch) {
      auto due = std::chrono::ceil<std::chrono::milliseconds>(*lastCallerFetch + kListRefetch - now);
      fetchTimer = std::make_unique<Async::Timer>(static_cast<int>(due.count()));
      fetchTimer->expired.connect(sigc::hide(sigc::mem_fun(*this, &Impl::fetchForCallers)));
      return;
    }
    fetchForCallers();
  }

  void fetchForCallers() {
    retire(fetchTimer);
    if (waiting.empty() || !directory) return;  // another list has decided for them
    lastCallerFetch = FloodClock::now();
    directory->getCalls();
    awaitList();
  }

  void awaitList() {
    if (waitTimer) return;
    waitTimer = std::make_unique<Async::Timer>(kListWaitMs);
    waitTimer->expired.connect(sigc::hide(sigc::mem_fun(*this, &Impl::resolveWaiting)));
  }

  void resolveWaiting() {
    retire(waitTimer);
    auto callers = std::move(waiting);
    waiting.clear();
    for (const Caller& c : callers)
      if (stationAt(c.ip) == nullptr) decide(c, true);
  }

  std::string localInfo() const {
    std::string info = callsign + " - Quillmere EchoLink node";
    if (!settings.location.empty()) info += "\n" + settings.location;
    return info + "\n";
  }

  Station* addStation(const Caller& c, bool outgoing, bool refuse, const std::string& reason) {
    auto owned = std::make_unique<Station>();
    Station* s = owned.get();
    s->qso = std::make_unique<Qso>(c.ip, callsign, settings.sysopName,
                                   refuse ? "Connection refused: " + reason + "\n" : localInfo());
    if (!s->qso->initOk()) {
      out.remark("No connection with " + c.call + " at " + c.ip.toString() + " could be set up.");
      return nullptr;
    }
    s->refused = refuse;
    s->state = {c.call, c.name, c.ip.toString(), false, outgoing};
    s->qso->setRemoteCallsign(c.call);
    s->qso->setRemoteName(c.name);
    if (!c.priv.empty()) s->qso->setRemoteParams(c.priv);
    s->qso->registerSink(&s->sink);
    s->sink.onAudio = [this, s](const float* samples, int count) {
      if (floor != s || count <= 0) return;
      std::size_t let = s->audio.take(static_cast<std::size_t>(count), FloodClock::now());
      if (let > 0) out.networkAudio(samples, let);
      if (let < static_cast<std::size_t>(count) && !s->droppedTold) {
        s->droppedTold = true;
        out.remark(s->state.call + " sends audio faster than real time: what runs more than " +
                   std::to_string(kAudioCushion.count()) + " ms ahead is dropped.");
      }
    };
    s->qso->stateChange.connect(sigc::bind(sigc::mem_fun(*this, &Impl::onState), s));
    s->qso->isReceiving.connect(sigc::bind(sigc::mem_fun(*this, &Impl::onReceiving), s));
    s->qso->chatMsgReceived.connect(sigc::bind(sigc::mem_fun(*this, &Impl::onChat), s));
    s->qso->infoMsgReceived.connect(sigc::bind(sigc::mem_fun(*this, &Impl::onInfo), s));
    stations.push_back(std::move(owned));
    if (refuse) {
      out.remark("Refused " + stationName(c.call) + " (" + c.ip.toString() + "): " + reason + ".");
      s->qso->accept();  // so that the caller reads why, then goodbye
      s->qso->sendChatData("Sorry, " + reason + ".");
      s->refusalTimer = std::make_unique<Async::Timer>(kRefusalHoldMs);
      s->refusalTimer->expired.connect(sigc::hide(sigc::bind(sigc::mem_fun(*this, &Impl::hangUp), s)));
    } else if (outgoing) {
      s->qso->connect();
    } else {
      s->qso->accept();
    }
    return s;
  }

  void hangUp(Station* s) { s->qso->disconnect(); }

  void onState(Qso::State state, Station* s) {
    if (state == Qso::STATE_CONNECTED && !s->refused && !s->announced) {
      s->announced = true;
      // The station may name itself anew in its packets: taken only when it is a callsign.
      if (plausibleCallsign(s->qso->remoteCallsign())) s->state.call = s->qso->remoteCallsign();
      if (s->qso->remoteName() != "?") s->state.name = stationName(s->qso->remoteName());
      out.connected(s->state.call, s->state.name, s->state.address);
      listBusyWhenFull();
    } else if (state == Qso::STATE_DISCONNECTED && !s->gone) {
      s->gone = true;
      if (floor == s) releaseFloor();
      if (s->announced) {
        out.Disconnected(s->state.call);
        lastGone = Caller{s->qso->remoteIp(), s->state.call, s->state.name, ""};
      } else if (s->state.outgoing) {
        out.announce(s->state.call + " did not answer");
      }
      // Not inside the connection's own signal: deleted once the loop has returned from it.
      Async::Application::app().runTask(sigc::bind(sigc::mem_fun(*this, &Impl::removeStation), s));
    }
  }

  void removeStation(Station* s) {
    auto it = std::find_if(stations.begin(), stations.end(), [s](const auto& p) { return p.get() == s; });
    if (it != stations.end()) {
      audioDropped += (*it)->audio.dropped();
      stations.erase(it);
    }
    listBusyWhenFull();
  }

  // The directory lists the node busy while it takes no more stations, as EchoLink users read that status.
  void listBusyWhenFull() {
    if (wanted == DirectoryStatus::Offline || shutdownDone) return;
    const DirectoryStatus want =
        connectedCount() >= settings.maxStations ? DirectoryStatus::Busy : DirectoryStatus::Online;
    if (want == wanted) return;
    wanted = want;
    if (!directory || loginFailing) return;  // the next login asks for it
    if (want == DirectoryStatus::Busy)
      directory->makeBusy();
    else
      directory->makeOnline();
  }

  // The library ends a station's receive 180 ms after its last packet; a late packet on a real link would then
  // unkey and key the transmitter again. The floor is kept for RxHang more, and a station that goes on within it
  // keeps it without a break.
  void onReceiving(bool on, Station* s) {
    if (s->refused || !s->announced) return;
    if (on && floor == s) {
      rxHang.reset();
    } else if (on && floor == nullptr) {
      takeFloor(s);
    } else if (!on && floor == s) {
      if (settings.rxHangMs <= 0) {
        floorEnded(s);
        return;
      }
      rxHang = std::make_unique<Async::Timer>(settings.rxHangMs);
      rxHang->expired.connect(sigc::hide(sigc::bind(sigc::mem_fun(*this, &Impl::floorEnded), s)));
    }
  }

  void floorEnded(Station* s) {
    if (floor != s) return;
    releaseFloor();
    for (auto& other : stations)
      if (other.get() != s && !other->gone && !other->refused && other->announced && other->qso->receivingAudio()) {
        takeFloor(other.get());
        break;
      }
  }

  void takeFloor(Station* s) {
    floor = s;
    s->state.talking = true;
    out.RX(true);
    if (!s->info.empty()) out.StationTextReceived(stationText(s->info));
  }

  void releaseFloor() {
    retire(rxHang);
    floor->state.talking = false;
    floor = nullptr;
    out.RX(false);
  }

  void onChat(const std::string& message, Station* s) {
    if (s->refused) return;
    std::string line = chatLine(message);
    if (!line.empty()) out.ChatTextReceived(line);
  }

  void onInfo(const std::string& message, Station* s) {
    s->info = message;
    if (floor == s) out.StationTextReceived(stationText(message));
  }

  std::vector<Station*> live() {
    std::vector<Station*> v;
    for (auto& s : stations)
      if (!s->refused && !s->gone && s->announced && s->qso->currentState() == Qso::STATE_CONNECTED)
        v.push_back(s.get());
    return v;
  }

  // --- outgoing ----------------------------------------------------------------------------------------------

  bool connectTo(const Async::IpAddress& ip, const std::string& listedCall) {
    if (!dispatcher) return false;
    const std::string call = stationName(listedCall);  // as the directory lists it: text from the internet
    if (Station* s = stationAt(ip); s != nullptr && !s->gone) {
      out.announce(call + " is already connected");
      return false;
    }
    if (connectedCount() >= settings.maxStations) {
      out.announce("The node is full");
      return false;
    }
    out.remark("Connecting to " + call + " at " + ip.toString() + ".");
    out.announce("Connecting to " + call);
    return addStation(Caller{ip, call, "", ""}, true, false, "") != nullptr;
  }
};

EchoLinkNetwork::EchoLinkNetwork(const EchoLinkNetSettings& settings, const std::string& callsign,
                                 NetworkListener& listener)
    : impl_(std::make_unique<Impl>(settings, callsign, listener)) {
  impl_->start();
}

EchoLinkNetwork::~EchoLinkNetwork() {
  for (auto& s : impl_->stations) {
    s->gone = true;  // no events while ending
    s->qso->disconnect();
  }
  impl_->stations.clear();
  impl_->directory.reset();
  if (Impl::running == impl_.get()) {
    EchoLink::Dispatcher::deleteInstance();
    guardEchoLinkPorts(0);
    Impl::running = nullptr;
  }
}

bool EchoLinkNetwork::ready() const {
  return impl_->dispatcher != nullptr;
}

void EchoLinkNetwork::sendChatText(const std::string& text) {
  std::string line = chatToSend(text);
  for (Station* s : impl_->live()) s->qso->sendChatData(line);
}

void EchoLinkNetwork::sendAudio(const float* samples, std::size_t count) {
  for (Station* s : impl_->live()) {
    std::size_t done = 0;
    while (done < count) {
      int n = static_cast<int>(std::min<std::size_t>(count - done, 4096));
      s->qso->writeSamples(samples + done, n);
      done += static_cast<std::size_t>(n);
    }
  }
}

void EchoLinkNetwork::sendAudio(const std::int16_t* samples, std::size_t count) {
  float block[512];
  for (std::size_t done = 0; done < count;) {
    std::size_t n = std::min<std::size_t>(count - done, 512);
    for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<float>(samples[done + i]) / 32768.0f;
    sendAudio(block, n);
    done += n;
  }
}

void EchoLinkNetwork::flushAudio() {
  for (Station* s : impl_->live()) s->qso->flushSamples();
}

void EchoLinkNetwork::shutdown(std::function<void()> done) {
  auto& i = *impl_;
  if (!i.directory || i.confirmed == DirectoryStatus::Offline || i.confirmed == DirectoryStatus::Unknown) {
    if (done) done();
    return;
  }
  i.shutdownDone = std::move(done);
  i.directory->makeOffline();
  i.shutdownTimer = std::make_unique<Async::Timer>(kLogoffWaitMs);
  i.shutdownTimer->expired.connect(sigc::hide(sigc::mem_fun(i, &Impl::finishShutdown)));
}

bool EchoLinkNetwork::connectCall(const std::string& callsign) {
  auto& i = *impl_;
  if (!i.directoryUsable()) {
    i.out.announce("The directory is not available");
    return false;
  }
  const StationData* s = i.directory->findCall(upper(callsign));
  if (s == nullptr) {
    i.out.announce(upper(callsign) + " is not in the directory");
    return false;
  }
  return i.connectTo(s->ip(), s->callsign());
}

bool EchoLinkNetwork::connectNode(int nodeNumber) {
  auto& i = *impl_;
  if (!i.directoryUsable()) {
    i.out.announce("The directory is not available");
    return false;
  }
  const StationData* s = i.directory->findStation(nodeNumber);
  if (s == nullptr) {
    i.out.announce("Node " + std::to_string(nodeNumber) + " is not in the directory");
    return false;
  }
  return i.connectTo(s->ip(), s->callsign());
}

void EchoLinkNetwork::disconnectLast() {
  auto v = impl_->live();
  if (v.empty()) {
    impl_->out.announce("No stations connected");
    return;
  }
  v.back()->qso->disconnect();
}

void EchoLinkNetwork::disconnectAll() {
  auto v = impl_->live();
  if (v.empty()) impl_->out.announce("No stations connected");
  for (Station* s : v) s->qso->disconnect();
}

bool EchoLinkNetwork::disconnectStation(const std::string& call) {
  for (Station* s : impl_->live()) {
    if (s->state.call != call) continue;
    s->qso->disconnect();
    return true;
  }
  return false;
}

bool EchoLinkNetwork::reconnect() {
  auto& i = *impl_;
  if (!i.lastGone) {
    i.out.announce("No station to reconnect");
    return false;
  }
  return i.connectTo(i.lastGone->ip, i.lastGone->call);
}

std::string EchoLinkNetwork::status() {
  auto v = impl_->live();
  std::string text;
  if (v.empty()) {
    text = "No stations connected";
  } else {
    for (Station* s : v) text += (text.empty() ? "" : ", ") + s->state.call;
    text += " connected";
  }
  if (impl_->directory) text += std::string(". Directory ") + directoryStatusName(impl_->confirmed);
  return text;
}

bool EchoLinkNetwork::handleDtmf(const std::string& digits,
                                 const std::function<bool(const std::string&)>& isProgramCode) {
  auto command = parseNodeCommand(digits, impl_->settings, isProgramCode);
  if (!command || !ready()) return false;
  using Kind = NodeCommand::Kind;
  switch (command->kind) {
    case Kind::DisconnectLast:
      disconnectLast();
      break;
    case Kind::DisconnectAll:
      disconnectAll();
      break;
    case Kind::Reconnect:
      reconnect();
      break;
    case Kind::Status:
      impl_->out.announce(status());
      break;
    case Kind::ConnectNode:
      connectNode(std::stoi(command->argument));
      break;
    case Kind::ConnectCall: {
      auto& i = *impl_;
      if (!i.directoryUsable()) {
        i.out.announce("The directory is not available");
        break;
      }
      std::vector<StationData> found;
      i.directory->findStationsByCode(found, command->argument, false);
      if (found.size() != 1) {
        i.out.announce(found.empty() ? "No station matches" : std::to_string(found.size()) + " stations match");
        break;
      }
      i.connectTo(found.front().ip(), found.front().callsign());
      break;
    }
  }
  return true;
}

void EchoLinkNetwork::setRadioBusy(bool busy) {
  impl_->radioBusy = busy;
}

bool EchoLinkNetwork::BusyStateA() const {
  return !impl_->live().empty();
}

bool EchoLinkNetwork::BusyStateB() const {
  return impl_->floor != nullptr;
}

std::vector<StationState> EchoLinkNetwork::stations() const {
  std::vector<StationState> v;
  for (Station* s : impl_->live()) v.push_back(s->state);
  return v;
}

DirectoryStatus EchoLinkNetwork::directoryStatus() const {
  return impl_->confirmed;
}

NetworkCounters EchoLinkNetwork::counters() const {
  NetworkCounters c;
  c.audioSamplesDropped = impl_->audioDropped;
  for (const auto& s : impl_->stations) c.audioSamplesDropped += s->audio.dropped();
  c.datagramsDropped = guardCounts().dropped;
  return c;
}

}  // namespace qm::echolink_net
