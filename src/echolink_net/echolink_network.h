#pragma once
// The radio node's EchoLink network on libecholib: the directory login, incoming and outgoing stations, their audio,
// chat and info texts, and the node's own DTMF functions.
//
// Thread: everything here runs on the thread of SvxLink's Async event loop (an Async::Application must exist and its
// loop must run); the object is made, used and destroyed there, and it calls its listener there. The node forwards
// the listener's calls to the program as posted events and calls the operations from its own queue.
//
// Audio is 8 kHz mono float (-1..1; int16 accepted too). The radio's receive audio goes to every connected station
// with sendAudio() while the carrier is present, and flushAudio() when it drops; the network's audio comes out of
// NetworkListener::networkAudio between RX(true) and RX(false). One station talks at a time: the first whose audio
// arrives holds the floor until its audio has stopped for RxHang, and the others' audio is not passed on meanwhile.
//
// Busy states, for the program's CW identifier: BusyStateA is true while at least one station is connected,
// BusyStateB while a station's audio is arriving (RX on).
//
// Limits of libecholib 19.09 that show here: one station per IP address (the library keys connections by address),
// one network per process (its dispatcher is a singleton and its ports are fixed once it exists), the directory on
// TCP port 5200 only, a station that vanishes is dropped only after 50 s without heartbeats, audio leaves in packets
// of 80 ms (GSM), and a login the directory answers with anything but OK is only printed by the library, so it shows
// here as a failed login without the server's words; a wrong password is told only as the message of the station list
// that follows the login; the name of a station that calls is cut at its first blank (the library's dispatcher splits
// it there); and every malformed packet is printed to standard error. Two libecholib stations agree on Speex;
// EchoLink's own programs speak GSM.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "echolink_net/echolink_net_settings.h"

namespace qm::echolink_net {

enum class DirectoryStatus { Offline, Online, Busy, Unknown };
const char* directoryStatusName(DirectoryStatus status);  // "offline", "online", "busy", "unknown"

// What the network raises; every call arrives on the Async loop's thread. The first eight are the program's EchoLink
// events (and the transcript's `> connect`, `> disconnect`, `> chat`, `> stationtext`, `> rx on|off`).
class NetworkListener {
 public:
  virtual ~NetworkListener() = default;
  virtual void connected(const std::string& call, const std::string& name, const std::string& address) = 0;
  virtual void Disconnected(const std::string& call) = 0;
  virtual void ChatTextReceived(const std::string& text) = 0;     // "CALL>text", as EchoLink shows it
  virtual void StationTextReceived(const std::string& text) = 0;  // the talking station's info, lines ended by CR
  virtual void RX(bool on) = 0;
  virtual void networkAudio(const float* samples, std::size_t count) = 0;
  // The directory's status as the directory last confirmed it.
  virtual void directoryStatus(DirectoryStatus) {}
  // Something the operator must see: a refused login, an unreachable directory, ports that cannot be opened.
  // Each distinct problem is raised once until it clears.
  virtual void problem(const std::string& text) = 0;
  // For the log: logins, refused callers, stations connected by the node's functions.
  virtual void remark(const std::string&) {}
  // What the node's own DTMF functions answer, to be spoken over the radio with the program's voice and keying.
  virtual void announce(const std::string&) {}
};

// What the network has had to refuse from stations, for the operator's counters.
struct NetworkCounters {
  std::uint64_t audioSamplesDropped = 0;  // station audio that ran too far ahead of real time (8 kHz samples)
  std::uint64_t datagramsDropped = 0;     // datagrams on the EchoLink ports that were unsafe for the library
};

struct StationState {
  std::string call, name, address;
  bool talking = false;   // holds the floor
  bool outgoing = false;  // the node called it
};

class EchoLinkNetwork {
 public:
  EchoLinkNetwork(const EchoLinkNetSettings& settings, const std::string& callsign, NetworkListener& listener);
  ~EchoLinkNetwork();  // every station is sent a goodbye; the directory is not told (see shutdown)
  EchoLinkNetwork(const EchoLinkNetwork&) = delete;
  EchoLinkNetwork& operator=(const EchoLinkNetwork&) = delete;

  // False when the UDP ports could not be opened (a problem says why); the object then does nothing.
  bool ready() const;

  void sendChatText(const std::string& text);
  void sendAudio(const float* samples, std::size_t count);
  void sendAudio(const std::int16_t* samples, std::size_t count);
  void flushAudio();

  // Logs off at the directory, then calls `done` (at once without a directory; after at most 3 s without an answer).
  void shutdown(std::function<void()> done);

  // Outgoing connections, looked up in the directory; false (with an announcement) when it cannot be made.
  bool connectCall(const std::string& callsign);
  bool connectNode(int nodeNumber);
  void disconnectLast();
  void disconnectAll();
  // The station of that callsign, as the node lists it; false when none is connected.
  bool disconnectStation(const std::string& call);
  bool reconnect();      // the last station that left
  std::string status();  // "N0CALL-L connected, ..." or "No stations connected", and the directory's status

  // A DTMF string heard on the radio: true when it was one of the node's own functions (and it ran).
  bool handleDtmf(const std::string& digits, const std::function<bool(const std::string&)>& isProgramCode);

  // The radio is busy (carrier or transmitter), for RefuseWhileBusy.
  void setRadioBusy(bool busy);

  bool BusyStateA() const;
  bool BusyStateB() const;
  std::vector<StationState> stations() const;
  DirectoryStatus directoryStatus() const;
  NetworkCounters counters() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qm::echolink_net
