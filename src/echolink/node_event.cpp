#include "echolink/node_event.h"

#include "platform/transcript_words.h"

namespace qm {

namespace {
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
// Spelled out for compilers without aggregate deduction (clang 14).
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

const char* onOff(bool on) {
  return on ? "on" : "off";
}
}  // namespace

void deliver(const NodeEvent& event, EchoLinkEvents& e) {
  using namespace node_event;
  std::visit(Overloaded{[&](const DTMFString& v) {
                          if (e.DTMFString) e.DTMFString(v.digits);
                        },
                        [&](const CarrierDetect& v) {
                          if (e.CarrierDetect) e.CarrierDetect(v.on);
                        },
                        [&](const RX& v) {
                          if (e.RX) e.RX(v.on);
                        },
                        [&](const Connected& v) {
                          if (e.connected) e.connected(v.call, v.name, v.address);
                        },
                        [&](const Disconnected& v) {
                          if (e.Disconnected) e.Disconnected(v.call);
                        },
                        [&](const ChatTextReceived& v) {
                          if (e.ChatTextReceived) e.ChatTextReceived(v.text);
                        },
                        [&](const StationTextReceived& v) {
                          if (e.StationTextReceived) e.StationTextReceived(v.text);
                        },
                        [&](const Closing&) {
                          if (e.Closing) e.Closing();
                        }},
             event);
}

std::string inputLine(const NodeEvent& event) {
  using namespace node_event;
  return std::visit(Overloaded{[](const DTMFString& v) { return "dtmf " + quote(v.digits); },
                               [](const CarrierDetect& v) { return std::string("carrier ") + onOff(v.on); },
                               [](const RX& v) { return std::string("rx ") + onOff(v.on); },
                               [](const Connected& v) {
                                 return "connect " + transcriptWords({v.call, v.name, v.address});
                               },
                               [](const Disconnected& v) { return "disconnect " + transcriptWord(v.call); },
                               [](const ChatTextReceived& v) { return "chat " + quote(v.text); },
                               [](const StationTextReceived& v) { return "stationtext " + quote(v.text); },
                               [](const Closing&) { return std::string("closing"); }},
                    event);
}

}  // namespace qm
