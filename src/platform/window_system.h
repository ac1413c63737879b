#pragma once
// Window messages between windows of the desktop, standing in for the few window-system calls the Skype link uses:
// registered message ids, windows with message procedures, synchronous re-entrant SendMessage (a procedure may send
// while it handles a message), the broadcast target, subclassing through the window-procedure slot, and copy-data
// messages whose bytes the receiver copies out during the call.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qm {

using HWND = std::intptr_t;    // a window handle; 0 is no window
using UINT = std::uint32_t;    // a message id
using WPARAM = std::intptr_t;  // pointer-sized message arguments
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDPROC = std::intptr_t;  // the address of a message procedure; 0 is none

constexpr HWND HWND_BROADCAST = 0xFFFF;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr int GWL_WNDPROC = -4;

// The record a copy-data message points to. During the call the receiver sees a copy of the record and of its
// `cbData` bytes, as between processes, so it can read no more than the sender said it sent.
struct COPYDATASTRUCT {
  std::uintptr_t dwData = 0;
  std::uint32_t cbData = 0;
  const void* lpData = nullptr;
};

class WindowSystem {
 public:
  using Procedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

  WindowSystem() = default;
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;

  // The id for a message name, from 0xC000; the same name (compared without regard to case) always gets the same
  // id. 0 for an empty name or when the range is used up.
  UINT RegisterWindowMessage(const std::string& name);

  // Makes a procedure callable through an address, which can then be installed in a window or called with
  // CallWindowProc. The address stays valid until removeProcedure.
  WNDPROC addProcedure(Procedure procedure);
  void removeProcedure(WNDPROC address);

  // A new window with that procedure (which must be an added address); returns its handle, never 0 nor
  // HWND_BROADCAST. Windows are created in handle order, and a broadcast reaches them in that order.
  HWND createWindow(const std::string& name, WNDPROC procedure);
  void destroyWindow(HWND hwnd);
  bool isWindow(HWND hwnd) const { return windows_.count(hwnd) != 0; }

  // Calls the window's procedure at once and returns its result; 0 when no such window exists (handle 0 included).
  // HWND_BROADCAST calls every window, the sender's own included, and returns 1 once at least one window has had
  // the message (the procedures' results are not returned).
  LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // The window-procedure slot (GWL_WNDPROC) is the only slot. SetWindowLong installs `value`, which must be an
  // added procedure, and returns the previous one; it returns 0 and changes nothing for an unknown window, slot or
  // procedure.
  std::intptr_t SetWindowLong(HWND hwnd, int index, std::intptr_t value);
  std::intptr_t GetWindowLong(HWND hwnd, int index) const;
  // Calls the procedure at `address` with the four arguments; 0 for an address that is not a procedure.
  LRESULT CallWindowProc(WNDPROC address, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // The procedure every window falls back on: it handles nothing and returns 0.
  WNDPROC defaultProcedure();

  // Nested sends deeper than this return 0 instead of overflowing the stack (procedures passing a message round in
  // a circle).
  static constexpr int kMaxDepth = 200;

 private:
  struct WindowEntry {
    std::string name;
    WNDPROC procedure;
  };
  LRESULT deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT call(WNDPROC address, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  std::map<std::string, UINT> messages_;  // by lower-case name
  UINT nextMessage_ = 0xC000;
  std::map<WNDPROC, std::shared_ptr<Procedure>> procedures_;
  WNDPROC nextProcedure_ = 0x00401000;
  WNDPROC defaultProcedure_ = 0;
  std::map<HWND, WindowEntry> windows_;
  HWND nextWindow_ = 0x10000;
  int depth_ = 0;
};

// The bytes of a copy-data record, copied out: exactly cbData bytes (none when lpData is null).
std::vector<char> copyDataBytes(LPARAM lParam);

}  // namespace qm
