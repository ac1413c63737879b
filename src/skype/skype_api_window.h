#pragma once
// The Skype side of the Desktop API on the window-message layer: one window that answers the program's discover
// broadcast and takes commands as copy-data messages, and sends notifications and attach messages back. The
// simulated Skype client and the SIP client are two of them; each decides what a discover and a command mean. A
// command is read here, by the one grammar (api_command.h), so both take the same lines; what the text alone answers
// (an unknown command, PING, PROTOCOL) is answered here too.
#include <string>

#include "platform/output_log.h"
#include "platform/window_system.h"
#include "skype/api_command.h"

namespace qm {

class SkypeApiWindow {
 public:
  SkypeApiWindow(WindowSystem& windows, OutputLog& log) : windows_(windows), log_(log) {}
  virtual ~SkypeApiWindow();
  SkypeApiWindow(const SkypeApiWindow&) = delete;
  SkypeApiWindow& operator=(const SkypeApiWindow&) = delete;

  bool running() const { return apiWindow_ != 0; }
  HWND apiWindow() const { return apiWindow_; }

  // Sends API text to a window (a `notify` event in the transcript).
  void notify(HWND to, const std::string& text);
  // Sends an attach message with that status and wParam.
  void sendAttach(HWND to, LPARAM status, HWND wParam);

  // The program has ended: nothing more is sent.
  void setDeaf(bool deaf) { deaf_ = deaf; }
  bool deaf() const { return deaf_; }

 protected:
  // Registers the two API messages and creates the window under the given class name.
  void openWindow(const std::string& className);
  virtual void discovered(HWND client) = 0;
  // The commands the text alone does not answer, each as the telephone carries it out.
  virtual void placeCall(HWND from, const std::string& target) = 0;
  // SET CALL n STATUS FINISHED, GET CALL n STATUS, GET CALL n DURATION.
  virtual void callCommand(HWND from, const ApiCommand& command) = 0;
  virtual void alterCall(HWND from, const ApiCommand& command) = 0;
  virtual void setMute(HWND from, bool on) = 0;
  // What GET MUTE answers.
  virtual bool muted() const = 0;

  WindowSystem& windows_;
  OutputLog& log_;

 private:
  LRESULT procedure(UINT msg, WPARAM wParam, LPARAM lParam);
  void received(HWND from, const std::string& text);

  bool deaf_ = false;
  WNDPROC procedureAddress_ = 0;
  HWND apiWindow_ = 0;
  UINT discoverMsg_ = 0;
  UINT attachMsg_ = 0;
};

}  // namespace qm
