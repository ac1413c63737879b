#pragma once
// What the node's thread publishes for the other threads (the program's, the web's) to read: snapshots, each written
// by one part of the loop.
#include <atomic>
#include <cstdint>

#include "radio/audio_port.h"

namespace qm::radio {

enum class KeyedBy { None, Speech, Morse, Station, Call };

struct NodeGauges {
  std::atomic<bool> carrier{false}, keyed{false};
  std::atomic<int> jackRate{0};
  std::atomic<KeyedBy> keyedBy{KeyedBy::None};
  std::atomic<double> rxLevel{-120}, txLevel{-120}, callRxLevel{-120}, callTxLevel{-120};
  std::atomic<bool> netBusyA{false}, netBusyB{false};
  // Audio lost since the node was made, over every JACK client it has had.
  std::atomic<std::uint64_t> xruns{0}, receiveOverruns{0}, transmitUnderruns{0}, callReceiveOverruns{0},
      callTransmitOverruns{0};

  void addOverruns(const AudioOverruns& more) {
    xruns += more.xruns;
    receiveOverruns += more.receiveOverruns;
    transmitUnderruns += more.transmitUnderruns;
    callReceiveOverruns += more.callReceiveOverruns;
    callTransmitOverruns += more.callTransmitOverruns;
  }
  AudioOverruns overruns() const {
    return {xruns.load(), receiveOverruns.load(), transmitUnderruns.load(), callReceiveOverruns.load(),
            callTransmitOverruns.load()};
  }
};

}  // namespace qm::radio
