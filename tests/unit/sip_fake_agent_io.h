#pragma once
// A stand-in for the operating system under the SIP client: it records what the client asks of it (starts, stops,
// kills, connections, the commands sent) and lets a test play baresip's side by calling the handlers, which is what
// the event loop does in a real run.
#include <string>
#include <vector>

#include "sip/agent_io.h"
#include "sip/json_text.h"
#include "sip/netstring.h"

namespace qm {

class FakeAgentIo : public AgentIo {
 public:
  std::vector<std::string> starts;  // "PROGRAM ARG ..." for each start
  int stops = 0, kills = 0, connects = 0;
  int lastPort = 0;
  bool running = false, open = false;
  int nextFreePort = 40000;

  void startProcess(const std::string& program, const std::vector<std::string>& arguments, int) override {
    std::string line = program;
    for (const auto& a : arguments) line += " " + a;
    starts.push_back(line);
    running = true;
  }
  void stopProcess() override { ++stops; }
  void killProcess() override { ++kills; }
  bool processRunning() const override { return running; }
  void connectControl(int port) override {
    ++connects;
    lastPort = port;
  }
  void send(const std::string& bytes) override {
    for (const std::string& frame : reader_.feed(bytes)) commands_.push_back(frame);
  }
  void closeControl() override { open = false; }
  int freePort() override { return nextFreePort; }

  // baresip's side.
  void processStarted() { handlers.started(); }
  void processEnded(const std::string& why) {
    running = false;
    open = false;
    handlers.ended(why);
  }
  void accept() {
    open = true;
    handlers.connected();
  }
  void refuse() { handlers.disconnected("Connection refused"); }
  void print(const std::string& line) { handlers.output(line); }
  void deliver(const std::string& json) { handlers.received(netstring(json)); }
  void deliverRaw(const std::string& bytes) { handlers.received(bytes); }
  // Starts, opens its port, and is ready.
  void comeUp() {
    processStarted();
    accept();
  }

  // The commands received since the last call, each as "command params [token]".
  std::vector<std::string> takeCommands() {
    std::vector<std::string> out;
    for (const std::string& c : commands_) {
      auto o = JsonObject::parse(c);
      std::string line = o ? o->text("command") : "?" + c;
      if (o && !o->text("params").empty()) line += " " + o->text("params");
      if (o && !o->text("token").empty()) line += " [" + o->text("token") + "]";
      out.push_back(line);
    }
    commands_.clear();
    return out;
  }

 private:
  NetstringReader reader_;
  std::vector<std::string> commands_;
};

// baresip's messages as it writes them.
inline std::string callEvent(const std::string& type, const std::string& id, const std::string& param,
                             const std::string& peer = "sip:123@provider.example",
                             const std::string& direction = "outgoing") {
  return "{\"event\":true,\"type\":\"" + type + "\",\"class\":\"call\",\"accountaor\":\"sip:quillmere@127.0.0.1\"," +
         "\"direction\":\"" + direction + "\",\"peeruri\":\"" + peer + "\",\"id\":\"" + id +
         "\",\"param\":" + jsonQuote(param) + "}";
}
inline std::string response(bool ok, const std::string& data, const std::string& token) {
  return std::string("{\"response\":true,\"ok\":") + (ok ? "true" : "false") + ",\"data\":" + jsonQuote(data) +
         ",\"token\":" + jsonQuote(token) + "}";
}

}  // namespace qm
