#pragma once
// The radio's control lines: carrier detect coming in, transmitter keying going out. A line is named in the user's
// words, as quillmere_radio.ini's Squelch and Ptt keys hold them:
//   serial:DEVICE:PIN   PTT on RTS or DTR; squelch on DCD, CTS, DSR or RI (the modem lines of a serial port)
//   cm108:DEVICE:PIN    a CM108/CM119 sound fob over hidraw: PTT on GPIO1..GPIO4, squelch on VOL_UP, VOL_DN,
//                       MUTE_PLAY, MUTE_REC
//   gpio:CHIP:LINE      a GPIO line through libgpiod (CHIP gpiochip0 or /dev/gpiochip0; LINE its offset or name)
//   pty:PATH            a pseudo-terminal with a symlink at PATH: squelch reads O (carrier) and Z (no carrier),
//                       PTT writes T (keyed) and R (released)
//   none                (PTT only) a VOX-keyed radio: nothing to key
// `!` before PIN or LINE inverts it. `vox` as Squelch is carrier detect from the audio, not a line (the node's):
// parseLineSpec takes it (kind "vox") so that a setting is checked in one place; openSquelchLine refuses it.
//
// Lines are opened and checked at once; a line that cannot be opened names the part that failed and the devices
// that exist. Every open PTT line is released when it is destroyed, and releaseAllPttLinesNow() releases them all
// from a signal handler, so no way of ending leaves the transmitter keyed.
#include <memory>
#include <optional>
#include <string>

namespace qm::radio {

struct LineSpec {
  std::string kind;    // serial, cm108, gpio, pty, none (Ptt), vox (Squelch)
  std::string device;  // the device, chip or path
  std::string pin;     // the pin or line, upper case for serial and cm108
  bool inverted = false;
  std::string text;  // as the user wrote it
};

enum class LineUse { Ptt, Squelch };

// Nothing, with `error` saying what is wrong and what is allowed, when `text` names no line of that use.
std::optional<LineSpec> parseLineSpec(const std::string& text, LineUse use, std::string& error);

class PttLine {
 public:
  virtual ~PttLine() = default;  // releases the transmitter
  // Keys (true) or releases (false) the transmitter; false, with `error` set, when the device did not take it.
  virtual bool key(bool on, std::string& error) = 0;
  virtual bool keyed() const = 0;
};

class SquelchLine {
 public:
  virtual ~SquelchLine() = default;
  // A descriptor that becomes readable when the carrier may have changed; -1 when the line must be polled
  // (every 10 ms or so).
  virtual int fd() const = 0;
  // The carrier now (after fd() became readable, or at a poll); nothing, with `error` set, when the device is lost.
  virtual std::optional<bool> carrier(std::string& error) = 0;
};

// Opened and verified lines; null with `error` naming the device, what failed and what exists.
std::unique_ptr<PttLine> openPttLine(const LineSpec& wiring, std::string& error);
std::unique_ptr<SquelchLine> openSquelchLine(const LineSpec& wiring, std::string& error);

struct DeviceInventory;
// What keeps the line from being opened, found without opening or driving it (opening a serial port raises RTS and
// DTR, which could key a transmitter another process holds released); empty when it looks usable. For --check.
std::string probeLine(const LineSpec& wiring, const DeviceInventory& inventory);

// Releases every open PTT line at once. Async-signal-safe: for fatal signals and std::terminate.
void releaseAllPttLinesNow() noexcept;
// Makes SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL and std::terminate release every open PTT line before the process
// ends as it would have (the handler that was there before, the default or a sanitizer's, is given the signal). The
// program calls it once, early; a PTY line's release waits up to 300 ms for the far side to read it.
void installEmergencyRelease();

}  // namespace qm::radio
