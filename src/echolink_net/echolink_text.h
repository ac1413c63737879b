#pragma once
// The texts EchoLink stations send, as the library hands them over, turned into what the program's events carry.
// Everything a station sends passes visible() on its way in, so that no control sequence of its own reaches the
// transcript, the history log, the desktop, a page or a terminal reading the journal.
#include <string>

namespace qm::echolink_net {

// The text with every control character (C0 and DEL, and C1 as UTF-8 writes it) other than those in `keep`, and every
// byte that is not part of a valid UTF-8 sequence, replaced by U+FFFD: the text stays UTF-8 and shows that something
// was there. Cut to at most `limit` bytes, never inside a character.
std::string visible(const std::string& text, const char* keep = "", std::size_t limit = std::string::npos);

// A chat packet's text ("CALL>text" with line breaks after it) as EchoLink shows the line: "CALL>text", without the
// trailing line breaks, line breaks inside made blanks, made visible; cut to `limit` bytes.
std::string chatLine(const std::string& received, std::size_t limit = 1024);

// A station's name or callsign from its packets: line breaks and tabs made blanks, made visible, cut to 64 bytes.
std::string stationName(const std::string& received);

// A station's info text (lines separated by line feeds, as the library gives them) as EchoLink's station text: each
// line ended by a carriage return; NULs dropped; made visible. Cut to `limit` bytes.
std::string stationText(const std::string& received, std::size_t limit = 4096);

// The text a chat line sends: line breaks become blanks, cut to `limit` characters (one UDP packet).
std::string chatToSend(const std::string& text, std::size_t limit = 1000);

}  // namespace qm::echolink_net
