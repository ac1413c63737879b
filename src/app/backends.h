#pragma once
// The platform and the outside applications, chosen once (in main, the scenario runner or a test) and handed to the
// Program. Logic sees these interfaces only.
#include <functional>
#include <string>

#include "platform/control.h"
#include "platform/folders.h"

namespace qm {

class Scheduler;
class Prompter;
class ProgramExit;
class EchoLinkNode;
class TransmitInhibit;
class InstanceLock;
class OutputLog;
class WindowSystem;
class Voice;
class HttpClient;
class Bell;
class AirRecording;
class OneTimeCodeBackend;
class QrEncoder;
struct DialPlan;

struct Backends {
  Scheduler& scheduler;
  Prompter& prompter;
  ProgramExit& exit;
  EchoLinkNode& node;
  InstanceLock& instanceLock;
  OutputLog& log;
  Folders folders;
  Rect screen{0, 0, 28800, 16200};  // the screen in twips (1920 x 1080 pixels)

  // Filled in by the subsystems that use them; a subsystem whose backend is missing does nothing.
  // The transmitter inhibit, when `node` is one: it tells the program's own keyings from the node's.
  TransmitInhibit* inhibit = nullptr;
  WindowSystem* windowSystem = nullptr;
  Voice* voice = nullptr;
  HttpClient* http = nullptr;
  Bell* bell = nullptr;
  // The air recording (--air): speech and Morse append what they key onto the air; null when none is made.
  AirRecording* air = nullptr;
  // One-time switch-on codes and the QR code that shows their secret (liboath, libqrencode); null when not built in.
  OneTimeCodeBackend* oneTimeCodes = nullptr;
  QrEncoder* qr = nullptr;
  // Run by the load once its checks have passed (the node answers, sysop mode, no other copy) and before it announces
  // or keys anything: a real node opens and checks its lines and audio here, and ends the program when it cannot.
  // Unset: the node needs no start (the simulated node).
  std::function<void()> startNode = nullptr;
  // While set true, what the voice speaks goes to the phone call as well as on the air (the radio node's call audio);
  // unset: the far end hears the receiver only.
  std::function<void(bool)> speechToCall = nullptr;
  // The telephone's dial plan, so that the dial rules judge the number it will dial; null when it rewrites nothing.
  const DialPlan* dialPlan = nullptr;
  // Where the usage report goes ("http://HOST[:PORT]/PATH"); empty for the built-in default.
  std::string reportUrl = "";
};

}  // namespace qm
