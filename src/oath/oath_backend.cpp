#include "oath/oath_backend.h"

#include "app/backends.h"

#include <liboath/oath.h>
#include <qrencode.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace qm {

namespace {

constexpr unsigned kTimeStep = 30;  // seconds, as authenticator apps use
constexpr unsigned kDigits = 6;

void initOnce() {
  static const int rc = oath_init();
  if (rc != OATH_OK) throw std::runtime_error(std::string("liboath: ") + oath_strerror(rc));
}

}  // namespace

std::string OathCodes::randomSecret(std::size_t bytes) {
  std::string out(bytes, '\0');
  std::size_t got = 0;
  while (got < bytes) {
    ssize_t n = getrandom(out.data() + got, bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("getrandom: ") + std::strerror(errno));
    }
    got += static_cast<std::size_t>(n);
  }
  return out;
}

std::string OathCodes::toBase32(const std::string& secret) {
  initOnce();
  char* out = nullptr;
  std::size_t length = 0;
  int rc = oath_base32_encode(secret.data(), secret.size(), &out, &length);
  if (rc != OATH_OK) throw std::runtime_error(std::string("liboath: ") + oath_strerror(rc));
  std::unique_ptr<char, decltype(&std::free)> owned(out, &std::free);
  std::string text(out, length);
  while (!text.empty() && text.back() == '=') text.pop_back();  // authenticator apps take it without padding
  return text;
}

std::optional<std::string> OathCodes::fromBase32(const std::string& text) {
  initOnce();
  std::string padded = text;
  while (padded.size() % 8 != 0) padded += '=';
  char* out = nullptr;
  std::size_t length = 0;
  if (oath_base32_decode(padded.data(), padded.size(), &out, &length) != OATH_OK) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> owned(out, &std::free);
  return std::string(out, length);
}

std::optional<std::uint64_t> OathCodes::matchStep(const std::string& secret, std::int64_t unixTime, unsigned window,
                                                  const std::string& code) {
  initOnce();
  if (code.size() != kDigits) return std::nullopt;
  int position = 0;
  std::uint64_t counter = 0;
  int rc = oath_totp_validate3(secret.data(), secret.size(), static_cast<time_t>(unixTime), kTimeStep, 0, window,
                               &position, &counter, code.c_str());
  if (rc < 0) return std::nullopt;
  return counter;
}

std::vector<std::vector<bool>> QrencodeEncoder::encode(const std::string& text) {
  std::unique_ptr<QRcode, decltype(&QRcode_free)> code(QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1),
                                                       &QRcode_free);
  std::vector<std::vector<bool>> rows;
  if (!code) return rows;
  rows.resize(static_cast<std::size_t>(code->width));
  for (int y = 0; y < code->width; ++y)
    for (int x = 0; x < code->width; ++x) rows[y].push_back(code->data[y * code->width + x] & 1);
  return rows;
}

OathCodes& oathCodes() {
  static OathCodes codes;
  return codes;
}

QrencodeEncoder& qrencodeEncoder() {
  static QrencodeEncoder encoder;
  return encoder;
}

void installOneTimeCodes(Backends& backends) {
  backends.oneTimeCodes = &oathCodes();
  backends.qr = &qrencodeEncoder();
}

}  // namespace qm
