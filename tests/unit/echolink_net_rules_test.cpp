// The EchoLink network's rules without a network: its settings file, who may connect, the texts stations send, and
// which DTMF strings are the node's own functions.
#include <gtest/gtest.h>

#include "echolink_net/access_policy.h"
#include "echolink_net/echolink_net_settings.h"
#include "echolink_net/echolink_text.h"
#include "echolink_net/node_commands.h"

namespace qm::echolink_net {
namespace {

EchoLinkNetSettings read(const std::string& text, std::vector<std::string>& problems) {
  return readEchoLinkSettings(ProfileFile::parse(text), "quillmere_echolink.ini", problems);
}

TEST(EchoLinkSettings, DefaultsAreAPublicNodeThatIsOff) {
  std::vector<std::string> problems;
  EchoLinkNetSettings s = read("", problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_FALSE(s.enabled);
  EXPECT_EQ(s.servers, std::vector<std::string>{"servers.echolink.org"});
  EXPECT_EQ(s.portBase, 5198);
  EXPECT_TRUE(s.requireDirectory);
  EXPECT_EQ(s.allowCalls, std::vector<std::string>{"*"});
  EXPECT_EQ(s, EchoLinkNetSettings{});
  // Servers present but empty: no directory at all (not the default).
  EXPECT_TRUE(read("[SETTINGS]\r\nServers=\r\n", problems).servers.empty());
}

TEST(EchoLinkSettings, ValuesAreReadAndBadOnesNamedWithWhatIsUsed) {
  std::vector<std::string> problems;
  EchoLinkNetSettings s = read(
      "[SETTINGS]\r\nEnabled=1\r\nServers= a.example , b.example,\r\nDenyCalls=N0BAD*, K?X\r\nMaxStations=0\r\n"
      "BindAddress=localhost\r\nPassword=x\xAC\r\nCodeStatus=9E\r\nLocation=Somewhere far away, on a hill top\r\n",
      problems);
  EXPECT_TRUE(s.enabled);
  EXPECT_EQ(s.servers, (std::vector<std::string>{"a.example", "b.example"}));
  EXPECT_EQ(s.denyCalls, (std::vector<std::string>{"N0BAD*", "K?X"}));
  EXPECT_EQ(s.location, "Somewhere far away, on a hi");
  EXPECT_EQ(s.maxStations, 4);
  EXPECT_EQ(s.bindAddress, "");
  EXPECT_EQ(s.password, "");
  EXPECT_EQ(s.codes.status, "08");
  EXPECT_EQ(problems,
            (std::vector<std::string>{
                "quillmere_echolink.ini: the value (hidden) of Password cannot hold line breaks or the byte "
                "0xAC; using \"\" instead.",
                "quillmere_echolink.ini: the Location \"Somewhere far away, on a hill top\" is longer than 27 "
                "characters; the directory shows \"Somewhere far away, on a hi\".",
                "quillmere_echolink.ini: the value \"localhost\" of BindAddress is not an IPv4 address; using "
                "\"\" instead.",
                "quillmere_echolink.ini: the value \"0\" of MaxStations is not a number from 1 to 100; using "
                "\"4\" instead.",
                "quillmere_echolink.ini: the value \"9E\" of CodeStatus is not a DTMF code (0-9, A-D, * and "
                "#, up to 8); using \"08\" instead."}));
}

TEST(EchoLinkAccess, CallsignPatterns) {
  EXPECT_TRUE(callsignMatches("*", "N0CALL-L"));
  EXPECT_TRUE(callsignMatches("n0*-l", "N0CALL-L"));
  EXPECT_TRUE(callsignMatches("K?X", "K1X"));
  EXPECT_FALSE(callsignMatches("K?X", "K12X"));
  EXPECT_FALSE(callsignMatches("N0CALL", "N0CALL-L"));
  EXPECT_TRUE(callsignMatches("*-R", "W1AW-R"));
  EXPECT_FALSE(callsignMatches("", "W1AW"));
  // Many stars against a long miss stays quick (no exponential back-tracking).
  EXPECT_FALSE(callsignMatches(std::string(40, '*') + "Z", std::string(5000, 'A')));
}

TEST(EchoLinkAccess, DeniedFirstThenAllowedThenRoomBusyAndDirectory) {
  EchoLinkNetSettings s;
  s.denyCalls = {"N0BAD*"};
  s.allowCalls = {"N0*", "K1*"};
  s.maxStations = 2;
  s.refuseWhileBusy = true;
  AccessContext listed{0, false, true, "10.0.0.5"};
  auto decide = [&](const std::string& call, AccessContext c, bool final = true) {
    return decideIncoming({call, "10.0.0.5"}, c, s, final);
  };
  EXPECT_TRUE(decide("N0GOOD", listed).accept);
  EXPECT_TRUE(decide("N0GOOD-L", listed).accept);
  EXPECT_EQ(decide("N0\x1b[2J", listed).reason, "that is not a callsign");
  EXPECT_EQ(decide(std::string(16, 'N'), listed).reason, "that is not a callsign");
  EXPECT_EQ(decide("N0BADX", listed).reason, "N0BADX is not allowed on this node");
  EXPECT_EQ(decide("W1AW", listed).reason, "W1AW is not allowed on this node");
  EXPECT_EQ(decide("K1ABC", {2, false, true, "10.0.0.5"}).reason, "the node is full (2 stations connected)");
  EXPECT_EQ(decide("K1ABC", {1, true, true, "10.0.0.5"}).reason, "the node is busy on the radio");
  // The directory: listed elsewhere, not listed (ask again first), or not reachable at all.
  EXPECT_EQ(decide("K1ABC", {0, false, true, "10.9.9.9"}).reason,
            "K1ABC is listed in the directory at 10.9.9.9, not at 10.0.0.5");
  AccessDecision first = decide("K1ABC", {0, false, true, std::nullopt}, false);
  EXPECT_FALSE(first.accept);
  EXPECT_TRUE(first.askDirectory);
  EXPECT_EQ(decide("K1ABC", {0, false, true, std::nullopt}).reason, "K1ABC is not listed in the directory");
  EXPECT_EQ(decide("K1ABC", {0, false, false, std::nullopt}).reason, "the directory cannot be reached to check K1ABC");
  s.requireDirectory = false;
  EXPECT_TRUE(decide("K1ABC", {0, false, false, std::nullopt}).accept);
  s.refuseWhileBusy = false;
  EXPECT_TRUE(decide("K1ABC", {1, true, false, std::nullopt}).accept);
}

TEST(EchoLinkText, ChatAndStationTextAsEchoLinkShowsThem) {
  // The library turns the packet's CR LF into two line feeds.
  EXPECT_EQ(chatLine("PE1ER>hello /ver/\n\n"), "PE1ER>hello /ver/");
  EXPECT_EQ(chatLine("PE1ER>a\tb\x01"
                     "c"),
            "PE1ER>a b c");
  EXPECT_EQ(stationText("PE1ER -> N0QM-L\nsecond line\n"), "PE1ER -> N0QM-L\rsecond line\r");
  EXPECT_EQ(stationText("one line"), "one line\r");
  EXPECT_EQ(stationText(std::string(10000, 'x'), 4096).size(), 4096u);
  EXPECT_EQ(chatToSend("two\r\nlines"), "two  lines");
  EXPECT_EQ(chatLine("PE1ER>" + std::string(70000, 'x') + "\n\n").size(), 1024u);
  EXPECT_EQ(stationName("Jan\r\nDoe"), "Jan  Doe");
  EXPECT_EQ(stationName(std::string(300, 'n')).size(), 64u);
  EXPECT_EQ(chatToSend(std::string(5000, 'x')).size(), 1000u);
}

TEST(EchoLinkNodeCommands, TheNodesCodesAndNeverTheProgramsOwn) {
  EchoLinkNetSettings s;
  auto programCode = [](const std::string& d) { return d == "#1#" || d == "DD" || d == "A" || d.starts_with("*#"); };
  auto kind = [&](const std::string& d) {
    auto c = parseNodeCommand(d, s, programCode);
    return c ? static_cast<int>(c->kind) : -1;
  };
  using K = NodeCommand::Kind;
  EXPECT_EQ(kind("#"), static_cast<int>(K::DisconnectLast));
  EXPECT_EQ(kind("##"), static_cast<int>(K::DisconnectAll));
  EXPECT_EQ(kind("09"), static_cast<int>(K::Reconnect));
  EXPECT_EQ(kind("08"), static_cast<int>(K::Status));
  EXPECT_EQ(kind("0773137"), static_cast<int>(K::ConnectCall));
  EXPECT_EQ(parseNodeCommand("0773137", s, programCode)->argument, "73137");
  EXPECT_EQ(kind("123456"), static_cast<int>(K::ConnectNode));
  EXPECT_EQ(kind("12"), -1);        // too short for a node number
  EXPECT_EQ(kind("12345678"), -1);  // too long
  EXPECT_EQ(kind("*#123"), -1);
  EXPECT_EQ(kind("DD"), -1);
  EXPECT_EQ(kind("#1#"), -1);
  EXPECT_EQ(kind("07"), -1);
  // A code the sysop set that the program also uses stays the program's.
  s.codes.disconnectLast = "A";
  EXPECT_EQ(kind("A"), -1);
  s.codes.connectNode = "*7";
  EXPECT_EQ(kind("123456"), -1);
  EXPECT_EQ(kind("*7123456"), static_cast<int>(K::ConnectNode));
  s.nodeCommands = false;
  EXPECT_EQ(kind("##"), -1);
}

}  // namespace
}  // namespace qm::echolink_net
