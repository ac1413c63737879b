#pragma once
// Which stations may connect to the node, decided as a sysop expects: denied patterns first, then allowed ones, then
// the number of stations, a busy radio, and last the directory (a caller must be listed at the address it calls
// from, as real nodes check, so that nobody takes another's callsign).
#include <optional>
#include <string>
#include <vector>

#include "echolink_net/echolink_net_settings.h"

namespace qm::echolink_net {

// Callsign patterns: * any run of characters, ? one character; case does not matter.
bool callsignMatches(const std::string& pattern, const std::string& call);

// Letters, digits, "-", "/" and "*" (conferences), 1 to 15 characters: what EchoLink callsigns are made of. Anything
// else in a call's packet is refused before it reaches the program's windows and transcript.
bool plausibleCallsign(const std::string& call);

struct IncomingCall {
  std::string call;
  std::string address;  // dotted IPv4, as the packets came from
};

struct AccessContext {
  int stationsConnected = 0;
  bool radioBusy = false;
  bool directoryAvailable = false;  // a directory is configured and its list has been fetched
  // Where the directory lists the caller: nothing when it does not list it.
  std::optional<std::string> listedAddress;
};

struct AccessDecision {
  bool accept = false;
  bool askDirectory = false;  // not listed yet: fetch the list again and decide once more
  std::string reason;         // why it was refused, for the sysop and the caller
};

// `finalCheck`: the directory list is fresh; an unlisted caller is then refused instead of asking again.
AccessDecision decideIncoming(const IncomingCall& caller, const AccessContext& context,
                              const EchoLinkNetSettings& settings, bool finalCheck);

}  // namespace qm::echolink_net
