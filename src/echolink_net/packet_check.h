#pragma once
// What may reach libecholib from the EchoLink ports. The library trusts the lengths and counts inside a datagram: an
// RTCP compound whose lengths do not add up, or whose SDES items run past their packet, makes it read past the
// datagram (Debian's 19.09 walks up to 256 KiB and dies), and a text packet with a NUL before its text makes it build
// a string backwards. Only datagrams that the library reads entirely within their own bytes are let through.
#include <cstddef>
#include <cstdint>

namespace qm::echolink_net {

constexpr std::size_t kLargestControlDatagram = 4096;  // an SDES with every item at its longest is about 2.1 KB
constexpr std::size_t kLargestAudioDatagram = 8192;    // a conference's info text with its station list

// The control port (PortBase + 1): an RTCP compound of SR, RR, SDES, BYE or APP packets (version 3, as EchoLink sends
// them, or 1, which the library also takes) whose lengths tile the datagram exactly; the first SDES packet with
// chunks holds items that end with an END item inside it.
bool controlDatagramSafe(const std::uint8_t* data, std::size_t size);

// The audio port (PortBase): an audio packet (0xC0 and the RTP header at least), or a text packet ("oNDATA" then the
// text, "\r" first for station info) with its NUL after the text's start.
bool audioDatagramSafe(const std::uint8_t* data, std::size_t size);

}  // namespace qm::echolink_net
