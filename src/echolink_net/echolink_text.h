#pragma once
// The texts EchoLink stations send, as the library hands them over, turned into what the program's events carry.
#include <string>

namespace qm::echolink_net {

// A chat packet's text ("CALL>text" with line breaks after it) as EchoLink shows the line: "CALL>text", without the
// trailing line breaks and with other control characters made blanks; cut to `limit` characters.
std::string chatLine(const std::string& received, std::size_t limit = 1024);

// A station's name from its packets: control characters made blanks, cut to 64 characters.
std::string stationName(const std::string& received);

// A station's info text (lines separated by line feeds, as the library gives them) as EchoLink's station text: each
// line ended by a carriage return; NULs dropped. Cut to `limit` characters.
std::string stationText(const std::string& received, std::size_t limit = 4096);

// The text a chat line sends: line breaks become blanks, cut to `limit` characters (one UDP packet).
std::string chatToSend(const std::string& text, std::size_t limit = 1000);

}  // namespace qm::echolink_net
