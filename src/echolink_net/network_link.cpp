#include "echolink_net/network_link.h"

#include <iostream>

#include "echolink_net/echolink_network.h"
#include "platform/log_priority.h"

namespace qm::echolink_net {

namespace {

class NetworkLink : public radio::NetworkPort, public NetworkListener {
 public:
  NetworkLink(radio::NetworkHost& host, const EchoLinkNetSettings& settings, const std::string& callsign)
      : host_(host), network_(settings, callsign, *this) {}

  // --- the node's calls ---
  void radioAudio(const float* samples, std::size_t count) override { network_.sendAudio(samples, count); }
  void radioAudioEnd() override { network_.flushAudio(); }
  void radioBusy(bool busy) override { network_.setRadioBusy(busy); }
  void sendChat(const std::string& text) override { network_.sendChatText(text); }
  void dtmf(const std::string& digits, bool programCode) override {
    network_.handleDtmf(digits, [programCode](const std::string&) { return programCode; });
  }
  bool busyA() const override { return network_.BusyStateA(); }
  bool busyB() const override { return network_.BusyStateB(); }
  void disconnectAll() override { network_.disconnectAll(); }
  void disconnectStation(const std::string& call) override { network_.disconnectStation(call); }
  void shutdown(std::function<void()> done) override { network_.shutdown(std::move(done)); }

  // --- the network's events ---
  void connected(const std::string& call, const std::string& name, const std::string& address) override {
    host_.networkEvent(node_event::Connected{call, name, address});
  }
  void Disconnected(const std::string& call) override { host_.networkEvent(node_event::Disconnected{call}); }
  void ChatTextReceived(const std::string& text) override { host_.networkEvent(node_event::ChatTextReceived{text}); }
  void StationTextReceived(const std::string& text) override {
    host_.networkEvent(node_event::StationTextReceived{text});
  }
  void RX(bool on) override {
    host_.networkRx(on);
    host_.networkEvent(node_event::RX{on});
  }
  void networkAudio(const float* samples, std::size_t count) override { host_.networkAudio(samples, count); }
  void directoryStatus(DirectoryStatus status) override {
    std::cerr << logPrefix(LogLevel::Info) << "EchoLink directory: " << directoryStatusName(status) << '\n';
    host_.networkStatus(std::string("directory: ") + directoryStatusName(status));
  }
  void problem(const std::string& text) override { host_.networkProblem("EchoLink: " + text); }
  void remark(const std::string& text) override {
    std::cerr << logPrefix(LogLevel::Info) << "EchoLink: " << text << '\n';
  }
  void announce(const std::string& text) override { host_.networkAnnounce(text); }

 private:
  radio::NetworkHost& host_;
  EchoLinkNetwork network_;
};

}  // namespace

radio::NetworkFactory echoLinkNetworkFactory(std::filesystem::path settingsFile,
                                             std::function<std::string()> callsign) {
  return [settingsFile = std::move(settingsFile),
          callsign = std::move(callsign)](radio::NetworkHost& host) -> std::unique_ptr<radio::NetworkPort> {
    std::vector<std::string> problems;
    EchoLinkNetSettings settings = readEchoLinkSettings(settingsFile, problems);
    for (const auto& p : problems) host.networkProblem(p);
    if (!settings.enabled) return nullptr;
    return std::make_unique<NetworkLink>(host, settings, callsign());
  };
}

}  // namespace qm::echolink_net
