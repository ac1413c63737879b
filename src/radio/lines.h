#pragma once
// The radio's control lines: carrier detect coming in, transmitter keying going out. A line is named in the user's
// words, as quillmere_radio.ini's Squelch and Ptt keys hold them; the kinds of line, their names and their pins are the
// rows of line_types.h. `!` before PIN or LINE inverts it. `vox` as Squelch is carrier detect from the audio, not a
// line (the node's): parseLineSpec takes it so that a setting is checked in one place; openSquelchLine refuses it.
//
// Lines are opened and checked at once; a line that cannot be opened names the part that failed and the devices
// that exist. Every open PTT line is released when it is destroyed, and releaseAllPttLinesNow() releases them all
// from a signal handler, so no way of ending leaves the transmitter keyed.
#include <memory>
#include <optional>
#include <string>

#include "radio/line_types.h"

namespace qm::radio {

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
// The same from the user's words: parsed by parseLineSpec, then opened.
std::unique_ptr<PttLine> openPttLine(const std::string& text, std::string& error);
std::unique_ptr<SquelchLine> openSquelchLine(const std::string& text, std::string& error);

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
