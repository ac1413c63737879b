// The EchoLink network against real stations on loopback: a stand-in directory on 127.0.0.1:5200 and a second
// station of ours (the test peer, on libecholib) on 127.0.0.2, calling the node on 127.0.0.1. Real time, bounded.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <random>

#include "echolink_directory_server.h"
#include "echolink_net/echolink_network.h"
#include "echolink_test_rig.h"

namespace {

using namespace std::chrono_literals;
using echolink_rig::AsyncLoop;
using echolink_rig::PeerProcess;
using echolink_rig::RecordingListener;
using qm::echolink_net::EchoLinkNetSettings;
using qm::echolink_net::EchoLinkNetwork;

AsyncLoop& loop() {
  static AsyncLoop instance;
  return instance;
}

constexpr const char* kNode = "N0QM-L";

// Each test has ports of its own, so that a station of an earlier test cannot reach a later one.
EchoLinkNetSettings settingsFor(int portBase) {
  EchoLinkNetSettings s;
  s.enabled = true;
  s.password = "secret";
  s.location = "Test location";
  s.servers = {"127.0.0.1"};
  s.bindAddress = "127.0.0.1";
  s.portBase = portBase;
  s.loginRetrySeconds = 1;
  return s;
}

class Loopback : public ::testing::Test {
 protected:
  ~Loopback() override {
    if (HasFailure())
      for (const auto& e : listener_.events.all()) std::cerr << "  left: " << e << "\n";
    stopNode();
  }
  void startNode(const EchoLinkNetSettings& s) {
    portBase_ = s.portBase;
    loop().call([&] {
      net_ = std::make_unique<EchoLinkNetwork>(s, kNode, listener_);
      return 0;
    });
    ASSERT_TRUE(loop().call([&] { return net_->ready(); }));
  }
  void stopNode() {
    if (net_)
      loop().call([&] {
        net_.reset();
        return 0;
      });
  }
  std::unique_ptr<PeerProcess> peer(const std::string& call, bool withDirectory = true,
                                    const std::string& address = "127.0.0.2") {
    std::vector<std::string> args{call, address, std::to_string(portBase_)};
    if (withDirectory) args.insert(args.end(), {"127.0.0.1", "peerpass"});
    auto p = std::make_unique<PeerProcess>(args);
    EXPECT_EQ(p->lines.take("ready", 5s), "ready");
    if (withDirectory) {
      p->send("login");
      EXPECT_EQ(p->lines.take("status", 5s), "status ON");
    }
    return p;
  }
  // Talks for `ms` at `hz`, in 20 ms blocks paced by a timer on the loop, then flushes.
  void nodeTalks(double hz, int ms) {
    struct Talk {
      std::unique_ptr<Async::Timer> timer;
      int blocks = 0;
      double phase = 0;
    };
    auto talk = std::make_shared<Talk>();
    int total = ms / 20;
    loop().call([&, talk] {
      talk->timer = std::make_unique<Async::Timer>(20, Async::Timer::TYPE_PERIODIC);
      talk->timer->expired.connect([this, talk, hz, total](Async::Timer*) {
        float block[160];
        for (float& f : block) {
          f = 0.5f * static_cast<float>(std::sin(talk->phase));
          talk->phase += 2 * M_PI * hz / 8000;
        }
        net_->sendAudio(block, 160);
        if (++talk->blocks == total) {
          net_->flushAudio();
          Async::Application::app().runTask([talk] { talk->timer.reset(); });
        }
      });
      return 0;
    });
  }
  template <class F>
  auto onLoop(F f) {
    return loop().call(f);
  }

  RecordingListener listener_;
  std::unique_ptr<EchoLinkNetwork> net_;
  int portBase_ = 0;
};

TEST_F(Loopback, AStationConnectsTalksChatsAndLeaves) {
  EchoLinkDirectoryServer directory;
  ASSERT_TRUE(directory.listening());
  startNode(settingsFor(35100));
  EXPECT_EQ(listener_.events.take("remark Logged in"), "remark Logged in to the EchoLink directory as N0QM-L.");
  ASSERT_EQ(directory.loginCount(kNode), 1);
  auto login = directory.logins().front();
  EXPECT_EQ(login.password, "secret");
  EXPECT_TRUE(login.status.starts_with("ONLINE")) << login.status;
  EXPECT_EQ(login.location, "Test location");
  EXPECT_EQ(login.address, "127.0.0.1");

  auto station = peer("PE1ER");
  station->send("connect 127.0.0.1");
  EXPECT_EQ(listener_.events.take("connect"), "connect PE1ER Peer 127.0.0.2");
  EXPECT_EQ(station->lines.take("connected"), "connected N0QM-L");
  EXPECT_EQ(station->lines.take("info"), "info N0QM-L - Quillmere EchoLink node|Test location");
  EXPECT_TRUE(onLoop([&] { return net_->BusyStateA(); }));
  EXPECT_FALSE(onLoop([&] { return net_->BusyStateB(); }));

  // Chat both ways, as EchoLink shows it.
  station->send("chat hello /ver/");
  EXPECT_EQ(listener_.events.take("chat"), "chat PE1ER>hello /ver/");
  onLoop([&] {
    net_->sendChatText("Quillmere  v1.0.6");
    return 0;
  });
  EXPECT_EQ(station->lines.take("chat"), "chat N0QM-L>Quillmere  v1.0.6");

  // The station talks: RX on, its info as the station text, its audio, RX off.
  station->send("info PE1ER -> N0QM-L|second line");
  station->send("tone 1000 1000");
  EXPECT_EQ(listener_.events.take("rx"), "rx on");
  EXPECT_EQ(listener_.events.take("stationtext"), "stationtext PE1ER -> N0QM-L\rsecond line\r");
  EXPECT_TRUE(onLoop([&] { return net_->BusyStateB(); }));
  EXPECT_EQ(listener_.events.take("rx", 5s), "rx off");
  EXPECT_FALSE(onLoop([&] { return net_->BusyStateB(); }));
  EXPECT_GE(listener_.samples, 7680);  // a second, less one packet at most
  EXPECT_NEAR(listener_.frequency(), 1000, 30);

  ASSERT_EQ(station->lines.take("tone done", 5s), "tone done");
  // A pause shorter than the RX hang keeps the receive (and the transmitter) on; a longer one ends it.
  station->send("tone 1000 400");
  EXPECT_EQ(listener_.events.take("rx"), "rx on");
  EXPECT_EQ(station->lines.take("tone done", 5s), "tone done");
  std::this_thread::sleep_for(150ms);
  station->send("tone 1000 400");
  EXPECT_EQ(station->lines.take("tone done", 5s), "tone done");
  EXPECT_EQ(listener_.events.take("rx", 3s), "rx off");
  EXPECT_EQ(listener_.events.count("rx"), 0);

  // The radio talks: the station hears it.
  nodeTalks(600, 1000);
  std::string heard = station->lines.take("rx off", 5s);
  ASSERT_FALSE(heard.empty());
  long samples = 0, hz = 0;
  ASSERT_EQ(std::sscanf(heard.c_str(), "rx off %ld %ld", &samples, &hz), 2) << heard;
  EXPECT_GE(samples, 7680);
  EXPECT_NEAR(hz, 600, 20);

  station->send("disconnect");
  EXPECT_EQ(listener_.events.take("disconnect"), "disconnect PE1ER");
  EXPECT_FALSE(onLoop([&] { return net_->BusyStateA(); }));
  EXPECT_EQ(listener_.events.count("problem"), 0);

  // The program ends: the node logs off at the directory first.
  onLoop([&] {
    net_->shutdown([&] { listener_.events.add("logged off"); });
    return 0;
  });
  EXPECT_EQ(listener_.events.take("logged off", 5s), "logged off");
  ASSERT_EQ(directory.loginCount(kNode), 2);
  EXPECT_TRUE(directory.logins().back().status.starts_with("OFF")) << directory.logins().back().status;
}

TEST_F(Loopback, AStationSpeakingGsmOnlyIsHeardAndHears) {
  auto s = settingsFor(35105);
  s.servers.clear();
  s.requireDirectory = false;
  startNode(s);
  auto station = peer("PE1ER", false);
  station->send("gsm");
  station->send("connect 127.0.0.1");
  ASSERT_EQ(listener_.events.take("connect"), "connect PE1ER Peer 127.0.0.2");
  station->send("tone 1000 800");
  ASSERT_EQ(listener_.events.take("rx"), "rx on");
  EXPECT_EQ(listener_.events.take("rx", 5s), "rx off");
  EXPECT_GE(listener_.samples, 5760);
  EXPECT_NEAR(listener_.frequency(), 1000, 30);
  nodeTalks(600, 800);
  std::string heard = station->lines.take("rx off", 5s);
  long samples = 0, hz = 0;
  ASSERT_EQ(std::sscanf(heard.c_str(), "rx off %ld %ld", &samples, &hz), 2) << heard;
  EXPECT_GE(samples, 5760);
  EXPECT_NEAR(hz, 600, 20);
}

TEST_F(Loopback, CallersAreRefusedByTheSysopsRules) {
  EchoLinkDirectoryServer directory;
  directory.addStation("SP0OF", "127.0.0.1", 4242);  // listed, but elsewhere than it calls from
  directory.addStation("TW0O", "127.0.0.3", 4343);
  auto s = settingsFor(35110);
  s.denyCalls = {"BAD*"};
  s.refuseWhileBusy = true;
  s.maxStations = 1;
  startNode(s);
  ASSERT_FALSE(listener_.events.take("remark Logged in").empty());

  auto refused = [&](const std::string& call, bool listed, const std::string& reason,
                     const std::string& address = "127.0.0.2") {
    SCOPED_TRACE(call);
    auto station = peer(call, listed, address);
    station->send("connect 127.0.0.1");
    // A caller the list must settle waits for the next list, fetched at most once in 10 s.
    EXPECT_EQ(listener_.events.take("remark Refused", 20s),
              "remark Refused " + call + " (" + address + "): " + reason + ".");
    EXPECT_EQ(station->lines.take("chat"), "chat N0QM-L>Sorry, " + reason + ".");
    EXPECT_EQ(station->lines.take("disconnected", 5s), "disconnected");
  };
  refused("BAD1", true, "BAD1 is not allowed on this node");
  refused("NO1SE", false, "NO1SE is not listed in the directory");
  refused("SP0OF", false, "SP0OF is listed in the directory at 127.0.0.1, not at 127.0.0.2");
  onLoop([&] {
    net_->setRadioBusy(true);
    return 0;
  });
  refused("G00D", true, "the node is busy on the radio");
  onLoop([&] {
    net_->setRadioBusy(false);
    return 0;
  });
  auto good = peer("G00D");
  good->send("connect 127.0.0.1");
  EXPECT_EQ(listener_.events.take("connect", 20s), "connect G00D Peer 127.0.0.2");
  // Full: listed busy in the directory, and one more station is refused.
  for (int i = 0; i < 50 && !directory.logins().back().status.starts_with("BUSY"); ++i)
    std::this_thread::sleep_for(100ms);
  EXPECT_TRUE(directory.logins().back().status.starts_with("BUSY")) << directory.logins().back().status;
  refused("TW0O", false, "the node is full (1 station connected)", "127.0.0.3");
  EXPECT_EQ(listener_.events.count("connect"), 0);
}

TEST_F(Loopback, AWrongPasswordIsShownOnceAndRetriedWithBackOff) {
  EchoLinkDirectoryServer directory;
  directory.setPassword(kNode, "other");
  startNode(settingsFor(35120));
  EXPECT_EQ(listener_.events.take("problem", 5s),
            "problem The EchoLink directory refused the login of N0QM-L: incorrect password. Check Password in "
            "quillmere_echolink.ini; the node tries again.");
  // Retried after 1 s, then 2 s: three logins, the problem shown once.
  for (int i = 0; i < 60 && directory.loginCount(kNode) < 3; ++i) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(directory.loginCount(kNode), 3);
  EXPECT_EQ(listener_.events.count("problem"), 0);
  EXPECT_EQ(listener_.events.take("remark Directory login tried again in 1 s"),
            "remark Directory login tried again in 1 s.");
  EXPECT_FALSE(listener_.events.take("remark Directory login tried again in 2 s").empty());
  // The sysop mends the password at the directory: the next retry (4 s later) logs in.
  directory.setPassword(kNode, "secret");
  EXPECT_FALSE(listener_.events.take("remark Logged in", 8s).empty());
  EXPECT_EQ(listener_.events.count("problem"), 0);
}

TEST_F(Loopback, TheNodeRunsWithoutTheDirectoryAndLogsInWhenItComesBack) {
  auto s = settingsFor(35130);
  s.requireDirectory = false;
  startNode(s);
  std::string shown = listener_.events.take("problem", 5s);
  EXPECT_TRUE(shown.starts_with("problem The EchoLink directory cannot be reached (")) << shown;
  // Stations are taken meanwhile.
  auto station = peer("PE1ER", false);
  station->send("connect 127.0.0.1");
  EXPECT_EQ(listener_.events.take("connect"), "connect PE1ER Peer 127.0.0.2");
  EchoLinkDirectoryServer directory;
  EXPECT_FALSE(listener_.events.take("remark Logged in", 10s).empty());
  EXPECT_EQ(listener_.events.count("problem"), 0);  // retries that fail the same way are not shown again
  EXPECT_EQ(onLoop([&] { return net_->directoryStatus(); }), qm::echolink_net::DirectoryStatus::Online);
}

TEST_F(Loopback, AStationKilledWhileTalkingIsDroppedWhenItsHeartbeatsStop) {
  auto s = settingsFor(35140);
  s.servers.clear();
  s.requireDirectory = false;
  startNode(s);
  auto station = peer("PE1ER", false);
  station->send("connect 127.0.0.1");
  ASSERT_FALSE(listener_.events.take("connect").empty());
  station->send("tone 800 5000");
  ASSERT_EQ(listener_.events.take("rx"), "rx on");
  station->kill();
  auto killed = echolink_rig::Clock::now();
  EXPECT_EQ(listener_.events.take("rx", 3s), "rx off");  // its audio stops: no stuck receive
  EXPECT_EQ(listener_.events.take("disconnect", 70s), "disconnect PE1ER");
  auto after = std::chrono::duration_cast<std::chrono::seconds>(echolink_rig::Clock::now() - killed).count();
  EXPECT_GE(after, 35);  // the library's heartbeat time-out, not anything sooner
  EXPECT_FALSE(onLoop([&] { return net_->BusyStateA(); }));
}

TEST_F(Loopback, GarbagePacketsToTheNodesPortsAreSurvived) {
  auto s = settingsFor(35150);
  s.servers.clear();
  s.requireDirectory = false;
  startNode(s);
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from), 0);
  std::mt19937 random(1234);
  auto spray = [&](int count) {
    for (int i = 0; i < count; ++i) {
      std::string packet(random() % 600, '\0');
      for (char& c : packet) c = static_cast<char>(random());
      // Some that look like the library's own kinds: audio, text and RTCP headers.
      const char* starts[] = {"\xc0", "oNDATA", "oNDATA\r", "\x80\xc8", "\xc0\x03", "\x81\xca"};
      if (i % 3 == 0) packet.replace(0, std::min(packet.size(), std::strlen(starts[i % 6])), starts[i % 6]);
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(static_cast<uint16_t>(portBase_ + i % 2));
      ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
      ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
      if (i % 50 == 0) std::this_thread::sleep_for(1ms);
    }
  };
  // An RR, then an SDES without chunks and a length far past the datagram: 16 bytes that made the library walk off
  // its buffer, both before anyone is connected from there (its dispatcher) and after (the station's connection);
  // and an info text with a NUL before its text, which the library read backwards (and ended the program).
  auto killer = [&] {
    const unsigned char packet[16] = {0xc0, 201, 0, 1, 0, 0, 0, 0, 0xc0, 202, 0xff, 0xff, 0, 0, 0, 0};
    const char text[] = "\0NDATA\rinfo";
    sockaddr_in to{};
    to.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(static_cast<uint16_t>(portBase_ + 1));
    for (int i = 0; i < 3; ++i) ::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    to.sin_port = htons(static_cast<uint16_t>(portBase_));
    ::sendto(fd, text, sizeof text, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  };
  killer();
  spray(500);  // nobody connected from there yet
  auto station = peer("PE1ER", false);
  station->send("connect 127.0.0.1");
  ASSERT_FALSE(listener_.events.take("connect").empty());
  killer();
  spray(1500);                         // now the packets reach the station's connection
  std::this_thread::sleep_for(300ms);  // what the socket's buffer could not hold is lost, the chat must not be
  station->send("chat still here");
  EXPECT_FALSE(listener_.events.take("chat PE1ER>still here").empty());
  ::close(fd);
}

TEST_F(Loopback, TheNodesDtmfFunctionsConnectDisconnectAndReconnect) {
  EchoLinkDirectoryServer directory;
  startNode(settingsFor(35160));
  ASSERT_FALSE(listener_.events.take("remark Logged in").empty());
  auto station = peer("PE1ER");
  // The node learns of the peer from a fresh list; a caller's check fetches one, so does the status code here.
  onLoop([&] {
    net_->connectCall("NOBODY");
    return 0;
  });
  EXPECT_EQ(listener_.events.take("announce"), "announce NOBODY is not in the directory");
  auto isProgramCode = [](const std::string& d) { return d == "DD" || d.starts_with("*#"); };
  auto dtmf = [&](const std::string& digits) {
    return onLoop([&] { return net_->handleDtmf(digits, isProgramCode); });
  };

  // A fresh list: the node fetches one when a station calls; here the peer calls in and leaves first.
  station->send("connect 127.0.0.1");
  ASSERT_FALSE(listener_.events.take("connect").empty());
  EXPECT_TRUE(dtmf("08"));
  EXPECT_EQ(listener_.events.take("announce"), "announce PE1ER connected. Directory online");
  EXPECT_TRUE(dtmf("#"));
  EXPECT_EQ(listener_.events.take("disconnect"), "disconnect PE1ER");
  EXPECT_EQ(station->lines.take("disconnected"), "disconnected");

  EXPECT_TRUE(dtmf("09"));  // reconnect: the node calls the station back
  EXPECT_EQ(station->lines.take("incoming"), "incoming N0QM-L");
  EXPECT_EQ(listener_.events.take("connect"), "connect PE1ER Peer 127.0.0.2");
  EXPECT_TRUE(dtmf("##"));
  EXPECT_EQ(listener_.events.take("disconnect"), "disconnect PE1ER");

  EXPECT_TRUE(dtmf(std::to_string(directory.nodeNumber("PE1ER"))));  // by node number
  EXPECT_EQ(listener_.events.take("connect"), "connect PE1ER Peer 127.0.0.2");
  EXPECT_TRUE(dtmf("#"));
  ASSERT_FALSE(listener_.events.take("disconnect").empty());
  EXPECT_TRUE(dtmf("0773137"));  // "07" then PE1ER on the keypad
  EXPECT_EQ(listener_.events.take("connect"), "connect PE1ER Peer 127.0.0.2");

  // The program's own codes and strings that are no node function are left alone.
  EXPECT_FALSE(dtmf("*#123"));
  EXPECT_FALSE(dtmf("DD"));
  EXPECT_FALSE(dtmf("5"));
  EXPECT_EQ(listener_.events.count("disconnect"), 0);
}

}  // namespace

namespace {

TEST_F(Loopback, PortsThatCannotBeOpenedAreNamedAndTheNodeGoesOnWithout) {
  // Another EchoLink program holds the ports.
  PeerProcess other({"PE1ER", "127.0.0.1", "35180"});
  ASSERT_EQ(other.lines.take("ready", 5s), "ready");
  auto s = settingsFor(35180);
  s.servers.clear();
  loop().call([&] {
    net_ = std::make_unique<EchoLinkNetwork>(s, kNode, listener_);
    return 0;
  });
  EXPECT_FALSE(onLoop([&] { return net_->ready(); }));
  EXPECT_EQ(listener_.events.take("problem"),
            "problem The EchoLink ports (UDP 35180 and 35181 on 127.0.0.1) cannot be opened: another EchoLink program "
            "may be using them, or BindAddress is not an address of this machine. The node runs without the network.");
  EXPECT_FALSE(onLoop([&] { return net_->handleDtmf("##", nullptr); }));
  stopNode();

  // One network at a time in a process: a second one says so instead of aborting in the library.
  startNode(settingsFor(35190));
  RecordingListener second;
  bool secondReady = loop().call([&] {
    EchoLinkNetwork another(settingsFor(35200), kNode, second);
    return another.ready();
  });
  EXPECT_FALSE(secondReady);
  EXPECT_EQ(second.events.take("problem"),
            "problem Only one EchoLink network can run in the program: this one stays off.");
  EXPECT_TRUE(onLoop([&] { return net_->ready(); }));
}

}  // namespace
