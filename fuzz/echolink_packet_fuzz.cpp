// What libecholib hands the EchoLink network from a station's packets: the callsign and name of a call (from its
// SDES packet), chat lines and info texts, and the DTMF strings the node's functions read. The input is split at
// NUL bytes: patterns, callsign, address, chat text, info text, DTMF digits. Every result must keep its promises.
#include <cstdint>
#include <string>
#include <vector>

#include "echolink_net/access_policy.h"
#include "echolink_net/echolink_net_settings.h"
#include "echolink_net/echolink_text.h"
#include "echolink_net/node_commands.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> part(6);
  std::size_t i = 0;
  for (std::size_t n = 0; n < size; ++n) {
    if (data[n] == 0 && i + 1 < part.size())
      ++i;
    else
      part[i] += static_cast<char>(data[n]);
  }
  using namespace qm::echolink_net;
  EchoLinkNetSettings settings;
  settings.allowCalls = splitList(part[0]);
  settings.denyCalls = {part[0]};
  settings.maxStations = 1 + static_cast<int>(size % 5);
  settings.refuseWhileBusy = size % 2 == 0;
  for (const std::string& p : settings.allowCalls) callsignMatches(p, part[1]);
  AccessContext context{static_cast<int>(size % 7), size % 3 == 0, size % 4 != 0, part[2]};
  AccessDecision d = decideIncoming({part[1], part[2]}, context, settings, size % 2 == 1);
  check(!(d.accept && d.askDirectory));
  check(d.accept || d.askDirectory || !d.reason.empty());
  if (d.accept || d.askDirectory) check(plausibleCallsign(part[1]));
  std::string name = stationName(part[1]);
  check(name.size() <= 64 && name.find_first_of("\r\n") == std::string::npos);

  std::string chat = chatLine(part[3]);
  check(chat.size() <= 1024);
  for (char c : chat) check(static_cast<unsigned char>(c) >= ' ');
  check(chat.empty() || chat.back() != '\n');
  std::string sent = chatToSend(part[3]);
  check(sent.size() <= 1000 && sent.find_first_of("\r\n") == std::string::npos);

  std::string info = stationText(part[4], 4096);
  check(info.size() <= 4096 && info.find('\n') == std::string::npos && info.find('\0') == std::string::npos);

  auto command = parseNodeCommand(part[5], settings, [](const std::string& s) { return s == "DD"; });
  if (command) check(part[5] != "DD");

  std::vector<std::string> problems;
  readEchoLinkSettings(qm::ProfileFile::parse(part[3]), "fuzz.ini", problems);
  return 0;
}
