// The EchoLink network's rules without a network: its settings file, who may connect and how often, the datagrams
// and texts stations send, their audio's pace, and which DTMF strings are the node's own functions.
#include <gtest/gtest.h>

#include "echolink_net/access_policy.h"
#include "echolink_net/echolink_net_settings.h"
#include "echolink_net/echolink_text.h"
#include "echolink_net/flood_limits.h"
#include "echolink_net/node_commands.h"
#include "echolink_net/packet_check.h"

// libecholib's own packet makers, exported by the library without a header of their own: what its stations send.
int rtp_make_sdes(unsigned char* p, const char* callsign, const char* name, const char* priv);
int rtp_make_bye(unsigned char* p);

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
            "PE1ER>a b\xEF\xBF\xBD"
            "c");
  EXPECT_EQ(stationText("PE1ER -> N0QM-L\nsecond line\n"), "PE1ER -> N0QM-L\rsecond line\r");
  EXPECT_EQ(stationText("one line"), "one line\r");
  EXPECT_EQ(stationText(std::string(10000, 'x'), 4096).size(), 4096u);
  EXPECT_EQ(chatToSend("two\r\nlines"), "two  lines");
  EXPECT_EQ(chatLine("PE1ER>" + std::string(70000, 'x') + "\n\n").size(), 1024u);
  EXPECT_EQ(stationName("Jan\r\nDoe"), "Jan  Doe");
  // A station's control sequences never reach a terminal: each control character shows as U+FFFD.
  const std::string bad = "\xEF\xBF\xBD";
  EXPECT_EQ(stationText("\x1b[31mred\x1b]0;title\x07\rback"), bad + "[31mred" + bad + "]0;title" + bad + "\rback\r");
  EXPECT_EQ(chatLine("PE1ER>\x1b[2J\x7f\xc2\x9b"
                     "1m\xff ok \xc3\xa9"),
            "PE1ER>" + bad + "[2J" + bad + bad + "1m" + bad + " ok \xc3\xa9");
  EXPECT_EQ(stationName("Jo\x1b[5m"), "Jo" + bad + "[5m");
  EXPECT_EQ(stationName(std::string(300, 'n')).size(), 64u);
  EXPECT_EQ(chatToSend(std::string(5000, 'x')).size(), 1000u);
}

TEST(EchoLinkPackets, WhatTheLibrarySendsIsTakenWhatWouldMisleadItIsNot) {
  std::vector<std::uint8_t> buf(1024);
  auto control = [&](int size) { return controlDatagramSafe(buf.data(), static_cast<std::size_t>(size)); };
  EXPECT_TRUE(control(rtp_make_sdes(buf.data(), "PE1ER", "Peer", "E2")));
  EXPECT_TRUE(control(rtp_make_sdes(buf.data(), "PE1ER", "Peer", nullptr)));
  EXPECT_TRUE(control(rtp_make_bye(buf.data())));
  // An RR, then an SDES without chunks and a length far past the datagram: the library walked off its buffer.
  const std::vector<std::uint8_t> killer{0xc0, 201, 0, 1, 0, 0, 0, 0, 0xc0, 202, 0xff, 0xff, 0, 0, 0, 0};
  EXPECT_FALSE(controlDatagramSafe(killer.data(), killer.size()));
  // An SDES without chunks whose length fits: the library's search still runs past the last packet.
  std::vector<std::uint8_t> noChunks{0xc0, 201, 0, 1, 0, 0, 0, 0, 0xc0, 202, 0, 1, 0, 0, 0, 0};
  EXPECT_FALSE(controlDatagramSafe(noChunks.data(), noChunks.size()));
  // Items that run past their packet (no END inside), and a datagram cut short of its lengths.
  int size = rtp_make_sdes(buf.data(), "PE1ER", "Peer", nullptr);
  for (int i = 16; i < size; ++i) buf[i] = 'x';
  EXPECT_FALSE(control(size));
  size = rtp_make_sdes(buf.data(), "PE1ER", "Peer", nullptr);
  EXPECT_FALSE(control(size - 4));

  auto audio = [](const std::string& d) {
    return audioDatagramSafe(reinterpret_cast<const std::uint8_t*>(d.data()), d.size());
  };
  EXPECT_TRUE(audio(std::string("oNDATAPE1ER>hi\r\n\0", 17)));
  EXPECT_TRUE(audio(std::string("oNDATA\rPE1ER\rinfo\r\0", 19)));
  EXPECT_TRUE(audio(std::string("\xc0\x03") + std::string(142, '\0')));
  // A NUL before the text: the library builds the text backwards.
  EXPECT_FALSE(audio(std::string("\0NDATA\rinfo\0", 13)));
  EXPECT_FALSE(audio("oNDA"));
  EXPECT_FALSE(audio(std::string("\xc0\x03\0", 3)));
}

TEST(EchoLinkFlood, AStationComingAndGoingIsTakenOnceInItsPauseAndAllTogetherSoManyAMinute) {
  using namespace std::chrono_literals;
  ConnectLimiter limiter({30s, 3});
  auto t = FloodClock::time_point{} + 1h;
  using V = ConnectLimiter::Verdict;
  EXPECT_EQ(limiter.judge("PE1ER", "10.0.0.1", t), V::Take);
  EXPECT_EQ(limiter.judge("PE1ER", "10.0.0.1", t + 500ms), V::Refuse);
  EXPECT_EQ(limiter.judge("PE1ER", "10.0.0.1", t + 1s), V::Ignore);  // told once is enough
  EXPECT_EQ(limiter.judge("PE1ER", "10.0.0.9", t + 2s), V::Ignore);  // by its callsign from elsewhere
  EXPECT_EQ(limiter.judge("PE1ER", "10.0.0.1", t + 31s), V::Take);
  EXPECT_EQ(limiter.judge("K1ABC", "10.0.0.2", t + 32s), V::Take);
  EXPECT_EQ(limiter.judge("K1ABD", "10.0.0.3", t + 33s), V::Refuse);  // three taken in the last minute
  EXPECT_EQ(limiter.judge("K1ABE", "10.0.0.4", t + 61s), V::Take);    // the first has left the minute
}

TEST(EchoLinkFlood, AudioFasterThanRealTimeIsDroppedBeyondTheCushion) {
  using namespace std::chrono_literals;
  AudioBudget budget(8000, 400ms);
  auto t = FloodClock::time_point{} + 1h;
  // 8,000 packets of 640 samples in 8 s: 5.1 million samples, of which 8 s and the cushion get through.
  std::size_t let = 0;
  for (int i = 0; i < 8000; ++i) let += budget.take(640, t + i * 1ms);
  EXPECT_NEAR(static_cast<double>(let), 8000 * 8.4, 700);
  EXPECT_EQ(budget.dropped(), 8000u * 640u - let);
  // At real time nothing is dropped.
  auto before = budget.dropped();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(budget.take(640, t + 20s + i * 80ms), 640u);
  EXPECT_EQ(budget.dropped(), before);
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
