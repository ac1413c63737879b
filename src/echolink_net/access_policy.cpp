#include "echolink_net/access_policy.h"

#include <cctype>

namespace qm::echolink_net {
namespace {

bool matchFrom(const std::string& p, std::size_t pi, const std::string& s, std::size_t si) {
  // Iterative glob with one back-tracking point: linear in practice, never recursive on hostile input.
  std::size_t star = std::string::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == '?' || std::toupper(static_cast<unsigned char>(p[pi])) ==
                                              std::toupper(static_cast<unsigned char>(s[si])))) {
      ++pi;
      ++si;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (star != std::string::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

bool anyMatches(const std::vector<std::string>& patterns, const std::string& call) {
  for (const std::string& p : patterns)
    if (callsignMatches(p, call)) return true;
  return false;
}

}  // namespace

bool callsignMatches(const std::string& pattern, const std::string& call) {
  return matchFrom(pattern, 0, call, 0);
}

bool plausibleCallsign(const std::string& call) {
  if (call.empty() || call.size() > 15) return false;
  for (char c : call)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '/' || c == '*')) return false;
  return true;
}

AccessDecision decideIncoming(const IncomingCall& caller, const AccessContext& context,
                              const EchoLinkNetSettings& settings, bool finalCheck) {
  if (!plausibleCallsign(caller.call)) return {false, false, "that is not a callsign"};
  if (anyMatches(settings.denyCalls, caller.call) || !anyMatches(settings.allowCalls, caller.call))
    return {false, false, caller.call + " is not allowed on this node"};
  if (context.stationsConnected >= settings.maxStations)
    return {false, false,
            "the node is full (" + std::to_string(settings.maxStations) + " station" +
                (settings.maxStations == 1 ? "" : "s") + " connected)"};
  if (settings.refuseWhileBusy && context.radioBusy) return {false, false, "the node is busy on the radio"};
  if (settings.requireDirectory) {
    if (context.listedAddress && *context.listedAddress == caller.address) return {true, false, ""};
    if (!finalCheck) return {false, true, ""};
    if (!context.directoryAvailable) return {false, false, "the directory cannot be reached to check " + caller.call};
    if (context.listedAddress)
      return {false, false,
              caller.call + " is listed in the directory at " + *context.listedAddress + ", not at " + caller.address};
    return {false, false, caller.call + " is not listed in the directory"};
  }
  return {true, false, ""};
}

}  // namespace qm::echolink_net
