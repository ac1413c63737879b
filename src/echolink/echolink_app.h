#pragma once
// The EchoLink application as the program sees it: one automation instance per window that needs it, raising the
// node's events on each instance, and the operations the windows call on their own instance. A failed call throws
// AutomationError, which the calling procedure's error handling deals with.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace qm {

struct AutomationError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class EchoLinkStation {
 public:
  virtual ~EchoLinkStation() = default;
  virtual std::string Callsign() = 0;
};

// The events of one instance; a window sets the handlers it has.
struct EchoLinkEvents {
  std::function<void(const std::string& sDigits)> DTMFString;
  std::function<void(bool bCD)> CarrierDetect;
  std::function<void(bool bRX)> RX;
  std::function<void(const std::string& sCallConnected, const std::string& sName, const std::string& sAddr)> connected;
  std::function<void(const std::string& sCall)> Disconnected;
  std::function<void()> Closing;
  std::function<void(const std::string& sText)> ChatTextReceived;
  std::function<void(const std::string& sText)> StationTextReceived;
};

class EchoLinkApp {
 public:
  virtual ~EchoLinkApp() = default;
  virtual void SetPTT(bool on) = 0;
  virtual bool BusyStateA() = 0;
  virtual bool BusyStateB() = 0;
  virtual bool PTTState() = 0;
  virtual bool CarrierState() = 0;
  virtual void PlayCW(std::int32_t mode, const std::string& text) = 0;
  virtual std::unique_ptr<EchoLinkStation> LocalStation() = 0;
  virtual void SendChatText(const std::string& text) = 0;

  EchoLinkEvents events;
};

// Where instances come from: the running EchoLink application.
class EchoLinkNode {
 public:
  virtual ~EchoLinkNode() = default;
  // A new instance; its events are raised after those of every instance created before it.
  virtual std::unique_ptr<EchoLinkApp> createApp() = 0;
};

}  // namespace qm
