// A second EchoLink station for the tests and the benchmark, on libecholib: it binds its own address (127.0.0.2),
// may log in to a directory, calls or takes one station, and is driven by lines on its standard input:
//   login                      log in to the directory (when one was given)
//   gsm                        speak GSM only from the next connection on, as EchoLink's own programs do (libecholib
//                              otherwise agrees on Speex with another libecholib station)
//   connect ADDRESS            call the station at ADDRESS
//   disconnect                 say goodbye
//   chat TEXT / info TEXT      send a chat line / set and send the station info (| stands for a line break)
//   tone HZ MS                 talk: a sine of HZ at half scale for MS milliseconds, paced in real time
//   bursts N HZ MS PERIOD      N tones of MS milliseconds, one every PERIOD ms; "burst T" tells when each starts
//   quit
// It writes what happens, one line each: ready, status S, connected CALL, incoming CALL, disconnected, chat TEXT,
// info TEXT, rx on, rx off SAMPLES HZ RMS (what arrived while receiving), burst T (CLOCK_MONOTONIC ns), tone done.
//
// Usage: echolink_peer CALL ADDRESS PORT_BASE [DIRECTORY PASSWORD]
#include <AsyncAudioSink.h>
#include <AsyncCppApplication.h>
#include <AsyncFdWatch.h>
#include <AsyncTimer.h>
#include <EchoLinkDirectory.h>
#include <EchoLinkDispatcher.h>
#include <EchoLinkQso.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

void say(const std::string& line) {
  std::cout << line << std::endl;
}

long long nowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string oneLine(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  for (char& c : s)
    if (c == '\n' || c == '\r') c = '|';
  return s;
}

// Measures what arrives while the other station talks.
class Meter : public Async::AudioSink {
 public:
  long samples = 0, crossings = 0;
  double squares = 0;
  float last = 0;
  int writeSamples(const float* s, int n) override {
    for (int i = 0; i < n; ++i) {
      if ((last < 0) != (s[i] < 0)) ++crossings;
      last = s[i];
      squares += static_cast<double>(s[i]) * s[i];
    }
    samples += n;
    return n;
  }
  void flushSamples() override { sourceAllSamplesFlushed(); }
  void reset() { samples = crossings = 0, squares = 0; }
};

class Peer : public sigc::trackable {
 public:
  Peer(std::string call, const std::string& directory, const std::string& password, const Async::IpAddress& bind)
      : call_(std::move(call)) {
    if (!directory.empty()) {
      directory_ = std::make_unique<EchoLink::Directory>(std::vector<std::string>{directory}, call_, password,
                                                         "Test peer", bind);
      directory_->statusChanged.connect(
          [](EchoLink::StationData::Status s) { say("status " + EchoLink::StationData::statusStr(s)); });
      directory_->error.connect([](const std::string& e) { say("directory-error " + oneLine(e)); });
    }
    EchoLink::Dispatcher::instance()->incomingConnection.connect(
        [this](const Async::IpAddress& ip, const std::string& call, const std::string& name, const std::string&) {
          if (qso_) return;
          say("incoming " + call);
          make(ip);
          qso_->setRemoteCallsign(call);
          qso_->setRemoteName(name);
          qso_->accept();
        });
  }

  void command(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    if (word == "login" && directory_) {
      directory_->makeOnline();
    } else if (word == "gsm") {
      gsmOnly_ = true;
    } else if (word == "connect") {
      if (qso_) qso_.reset();
      make(Async::IpAddress(rest));
      qso_->connect();
    } else if (word == "disconnect" && qso_) {
      qso_->disconnect();
    } else if (word == "chat" && qso_) {
      qso_->sendChatData(rest);
    } else if (word == "info" && qso_) {
      for (char& c : rest)
        if (c == '|') c = '\n';
      qso_->setLocalInfo(rest);
      qso_->sendInfoData();
    } else if (word == "tone") {
      std::istringstream a(rest);
      a >> hz_ >> toneMs_;
      bursts_ = 1;
      periodMs_ = toneMs_;
      startTalking();
    } else if (word == "bursts") {
      std::istringstream a(rest);
      a >> bursts_ >> hz_ >> toneMs_ >> periodMs_;
      startTalking();
    } else if (word == "quit") {
      Async::Application::app().quit();
    }
  }

 private:
  void make(const Async::IpAddress& ip) {
    qso_ = std::make_unique<EchoLink::Qso>(ip, call_, "Peer", "Test peer");
    if (gsmOnly_) {
      qso_->setUseGsmOnly();
      qso_->setLocalName("Peer");  // its SDES packet no longer offers Speex
    }
    qso_->registerSink(&meter_);
    qso_->stateChange.connect([this](EchoLink::Qso::State s) {
      if (s == EchoLink::Qso::STATE_CONNECTED) say("connected " + qso_->remoteCallsign());
      if (s == EchoLink::Qso::STATE_DISCONNECTED) {
        say("disconnected");
        // Gone, so that the dispatcher hands the next call from that address to a new connection.
        Async::Application::app().runTask([this] {
          pacer_.reset();
          qso_.reset();
        });
      }
    });
    qso_->chatMsgReceived.connect([](const std::string& m) { say("chat " + oneLine(m)); });
    qso_->infoMsgReceived.connect([](const std::string& m) { say("info " + oneLine(m)); });
    qso_->isReceiving.connect([this](bool on) {
      if (on) {
        meter_.reset();
        say("rx on");
      } else {
        double seconds = meter_.samples / 8000.0;
        double hz = seconds > 0 ? meter_.crossings / 2.0 / seconds : 0;
        double rms = meter_.samples > 0 ? std::sqrt(meter_.squares / meter_.samples) : 0;
        std::ostringstream o;
        o << "rx off " << meter_.samples << " " << std::lround(hz) << " " << rms;
        say(o.str());
      }
    });
  }

  // 20 ms blocks on a periodic timer; a block counts its time from the start so that pacing does not drift.
  void startTalking() {
    if (!qso_) return;
    talkStart_ = nowNs();
    blocksSent_ = 0;
    burstIndex_ = -1;
    pacer_ = std::make_unique<Async::Timer>(5, Async::Timer::TYPE_PERIODIC);
    pacer_->expired.connect(sigc::hide(sigc::mem_fun(*this, &Peer::pace)));
  }

  void pace() {
    long long due = (nowNs() - talkStart_) / 20000000LL + 1;
    while (blocksSent_ < due) {
      long long t = blocksSent_ * 20;  // ms since the start
      int burst = static_cast<int>(t / periodMs_);
      if (burst >= bursts_) {
        qso_->flushSamples();
        // Not deleted inside its own expiry (sigc++ would leak a slot): once the loop is back.
        Async::Application::app().runTask([t = std::shared_ptr<Async::Timer>(std::move(pacer_))] {});
        say("tone done");
        return;
      }
      bool on = (t % periodMs_) < toneMs_;
      if (on && burst != burstIndex_) {
        burstIndex_ = burst;
        say("burst " + std::to_string(nowNs()));
      }
      float block[160];
      for (int i = 0; i < 160; ++i) {
        block[i] = on ? 0.5f * static_cast<float>(std::sin(phase_)) : 0.0f;
        phase_ += 2 * M_PI * hz_ / 8000.0;
      }
      qso_->writeSamples(block, 160);
      ++blocksSent_;
    }
  }

  std::string call_;
  std::unique_ptr<EchoLink::Directory> directory_;
  Meter meter_;
  std::unique_ptr<EchoLink::Qso> qso_;
  std::unique_ptr<Async::Timer> pacer_;
  bool gsmOnly_ = false;
  double hz_ = 1000, phase_ = 0;
  long long toneMs_ = 0, periodMs_ = 1;
  int bursts_ = 0, burstIndex_ = -1;
  long long talkStart_ = 0, blocksSent_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::cerr << "usage: echolink_peer CALL ADDRESS PORT_BASE [DIRECTORY PASSWORD]\n";
    return 2;
  }
  Async::CppApplication app;
  Async::IpAddress bind(argv[2]);
  EchoLink::Dispatcher::setPortBase(std::stoi(argv[3]));
  EchoLink::Dispatcher::setBindAddr(bind);
  if (EchoLink::Dispatcher::instance() == nullptr) {
    say("error the UDP ports cannot be opened");
    return 1;
  }
  auto peer = std::make_unique<Peer>(argv[1], argc == 6 ? argv[4] : "", argc == 6 ? argv[5] : "", bind);
  std::string pending;
  Async::FdWatch input(STDIN_FILENO, Async::FdWatch::FD_WATCH_RD);
  input.activity.connect([&](Async::FdWatch*) {
    char buf[4096];
    ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
      app.quit();
      return;
    }
    pending.append(buf, static_cast<std::size_t>(n));
    for (auto nl = pending.find('\n'); nl != std::string::npos; nl = pending.find('\n')) {
      std::string line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      peer->command(line);
    }
  });
  say("ready");
  app.exec();
  peer.reset();  // its connection leaves the dispatcher before the dispatcher goes
  EchoLink::Dispatcher::deleteInstance();
  return 0;
}
