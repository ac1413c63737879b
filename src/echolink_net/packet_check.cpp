#include "echolink_net/packet_check.h"

#include <cstring>

namespace qm::echolink_net {
namespace {

constexpr std::uint8_t kSdes = 202;
constexpr std::uint8_t kSdesEnd = 0;
constexpr std::size_t kRtpHeader = 12;

unsigned version(std::uint8_t first) {
  return (first >> 6) & 3u;
}

// The items of one SDES packet (header and SSRC first) end with an END item inside it.
bool itemsEndInside(const std::uint8_t* packet, std::size_t size) {
  std::size_t at = 8;
  while (at < size) {
    if (packet[at] == kSdesEnd) return true;
    if (at + 2 > size) return false;
    at += 2 + packet[at + 1];
  }
  return false;
}

}  // namespace

bool controlDatagramSafe(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > kLargestControlDatagram) return false;
  bool sawSdes = false, sdesRead = false;
  for (std::size_t at = 0; at < size;) {
    if (size - at < 4) return false;
    const std::uint8_t* p = data + at;
    unsigned v = version(p[0]);
    if (v != 3 && v != 1) return false;
    std::size_t length = (static_cast<std::size_t>(p[2]) << 8 | p[3]) * 4 + 4;
    if (length > size - at) return false;
    // The library reads the first SDES packet that has chunks, and only that one.
    if (p[1] == kSdes) {
      sawSdes = true;
      if (!sdesRead && (p[0] & 0x1F) > 0) {
        if (!itemsEndInside(p, length)) return false;
        sdesRead = true;
      }
    }
    at += length;
  }
  // An SDES without chunks alone sends the library's search past the last packet.
  return !sawSdes || sdesRead;
}

bool audioDatagramSafe(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > kLargestAudioDatagram) return false;
  if (data[0] == 0xC0) return size >= kRtpHeader;
  // Text: the library reads the first seven bytes whatever the size, then the text from byte 6 (chat) or 7 (info,
  // byte 6 a CR) up to the first NUL, which must therefore come after the first six bytes.
  if (size < 7 || data[0] == 0 || std::memcmp(data + 1, "NDATA", 5) != 0) return false;
  return std::memchr(data + 6, 0, size - 6) != nullptr;
}

}  // namespace qm::echolink_net
