#pragma once
// What the access control needs from a one-time code library and a QR code encoder; the backends (liboath,
// libqrencode) live in src/oath/, outside the core.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qm {

class OneTimeCodeBackend {
 public:
  virtual ~OneTimeCodeBackend() = default;
  // `bytes` random bytes for a new secret; throws std::runtime_error when no randomness can be had.
  virtual std::string randomSecret(std::size_t bytes) = 0;
  virtual std::string toBase32(const std::string& secret) = 0;
  // Nothing when the text is not base32.
  virtual std::optional<std::string> fromBase32(const std::string& text) = 0;
  // The time step (30 s steps since 1970) whose six-digit TOTP code (RFC 6238, HMAC-SHA1) is `code`, searched within
  // `window` steps either side of `unixTime`; nothing when none matches.
  virtual std::optional<std::uint64_t> matchStep(const std::string& secret, std::int64_t unixTime, unsigned window,
                                                 const std::string& code) = 0;
};

class QrEncoder {
 public:
  virtual ~QrEncoder() = default;
  // The modules of a QR code for `text`, row by row (true is dark), without the quiet zone; empty on failure.
  virtual std::vector<std::vector<bool>> encode(const std::string& text) = 0;
};

}  // namespace qm
