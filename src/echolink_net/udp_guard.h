#pragma once
// Keeps hostile datagrams away from libecholib. The library's sockets read with recvfrom() from inside the library, so
// the program provides recvfrom() itself (the dynamic linker binds the library's calls to it): datagrams on the
// guarded EchoLink ports that packet_check finds unsafe are dropped there, and the library never sees their bytes.
// Every other socket of the process reads exactly as before. This file is linked into the executable, whose symbols
// the dynamic linker searches first: libecholib, loaded with the radio's module, binds its calls to it there.
#include <cstdint>

namespace qm::echolink_net {

// Guards the EchoLink ports: audio on `portBase`, control on `portBase + 1` (0: no longer guarded).
void guardEchoLinkPorts(int portBase);

struct GuardCounts {
  std::uint64_t seen = 0;     // datagrams read on the guarded ports
  std::uint64_t dropped = 0;  // of those, the unsafe ones
};
GuardCounts guardCounts();

}  // namespace qm::echolink_net
