#pragma once
// Speech holds the program's thread for the whole utterance, so the windows cannot repaint meanwhile. Just before
// an utterance starts, every shown window paints what has changed (PTT ON, the data panel, the node simulator's
// on-air view), so that the operator sees the transmitter keyed while it is; the clock stands still until the end.
namespace qm {

class Session;

// Paints every shown top-level window now, without running timers or input (layout requests only).
void paintNow();
// Paints before each utterance the session speaks. Keeps the transcript's listener that was there before.
void paintBeforeSpeech(Session& session);

}  // namespace qm
