#pragma once
// The one-time code and QR code backends: liboath (RFC 6238 TOTP, base32) and libqrencode. Stateless; one of each
// serves the whole process.
#include "access/one_time_code_backend.h"

namespace qm {

class OathCodes : public OneTimeCodeBackend {
 public:
  std::string randomSecret(std::size_t bytes) override;
  std::string toBase32(const std::string& secret) override;
  std::optional<std::string> fromBase32(const std::string& text) override;
  std::optional<std::uint64_t> matchStep(const std::string& secret, std::int64_t unixTime, unsigned window,
                                         const std::string& code) override;
};

class QrencodeEncoder : public QrEncoder {
 public:
  std::vector<std::vector<bool>> encode(const std::string& text) override;
};

struct Backends;

OathCodes& oathCodes();
QrencodeEncoder& qrencodeEncoder();
// Hands both to a session's backends.
void installOneTimeCodes(Backends& backends);

}  // namespace qm
