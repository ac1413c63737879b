#pragma once
// Call control: the single outgoing command slot txtSend, the buttons that fill and send it, and call tracking,
// which follows a call from the logged lines. Every duration report of a running call ("CALL 1234 DURATION 7")
// arms txtSend with the command that ends that call; a finished call ("STATUS FINISHED", Skype's or our own echo)
// restarts the transmit time-out counter.
//
// A hang-up ("DD", "Disconnect Call in Progress", the transmit time-out) ends the call that is up and nothing else:
// until the first duration report the slot still holds the "CALL " command, and sending that again would dial.
#include <string>

namespace qm {

class frmMain;

// Buttons: Command17 "Disconnect Call in Progress", Command3 "Mute On", Command4 "Mute off".
void wireCallControl(frmMain& main);
// Call tracking of one logged line. Throws when Mins does not hold a number.
void trackCall(frmMain& main, const std::string& line);

}  // namespace qm
