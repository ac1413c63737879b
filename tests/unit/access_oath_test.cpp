// The liboath and libqrencode backends: RFC 6238's test vectors (six digits), base32 as authenticator apps write it,
// fresh secrets, and QR codes of the right shape.
#include <gtest/gtest.h>

#include "oath/oath_backend.h"

namespace qm {
namespace {

const std::string kRfcSecret = "12345678901234567890";

TEST(OathCodes, FindsTheTimeStepOfRfc6238Codes) {
  OathCodes& codes = oathCodes();
  // RFC 6238 appendix B (SHA-1), the last six of its eight digits.
  struct Vector {
    std::int64_t time;
    const char* code;
  } vectors[] = {{59, "287082"},         {1111111109, "081804"}, {1111111111, "050471"},
                 {1234567890, "005924"}, {2000000000, "279037"}, {20000000000, "353130"}};
  for (const Vector& v : vectors) {
    auto step = codes.matchStep(kRfcSecret, v.time, 0, v.code);
    ASSERT_TRUE(step) << v.time;
    EXPECT_EQ(*step, static_cast<std::uint64_t>(v.time / 30)) << v.time;
  }
  // The window reaches one step either side, not two.
  EXPECT_EQ(codes.matchStep(kRfcSecret, 1111111109, 1, "050471"), std::optional<std::uint64_t>(37037037));
  EXPECT_FALSE(codes.matchStep(kRfcSecret, 1111111109, 0, "050471"));
  EXPECT_FALSE(codes.matchStep(kRfcSecret, 1111111109 - 30, 1, "050471"));
  EXPECT_FALSE(codes.matchStep(kRfcSecret, 59, 1, "287083"));
  EXPECT_FALSE(codes.matchStep(kRfcSecret, 59, 1, "28708"));
}

TEST(OathCodes, Base32AndFreshSecrets) {
  OathCodes& codes = oathCodes();
  EXPECT_EQ(codes.toBase32(kRfcSecret), "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
  EXPECT_EQ(codes.fromBase32("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"), kRfcSecret);
  // Without padding, as the file and the otpauth:// address carry it.
  EXPECT_EQ(codes.toBase32("abc"), "MFRGG");
  EXPECT_EQ(codes.fromBase32("MFRGG"), "abc");
  EXPECT_FALSE(codes.fromBase32("NOT BASE32!"));
  std::string a = codes.randomSecret(20), b = codes.randomSecret(20);
  EXPECT_EQ(a.size(), 20u);
  EXPECT_NE(a, b);
}

TEST(QrencodeEncoder, SquareCodeWithFinderPatterns) {
  auto rows = qrencodeEncoder().encode(
      "otpauth://totp/Quillmere:N0CALL-L?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&issuer=Quillmere&algorithm=SHA1&"
      "digits=6&period=30");
  ASSERT_FALSE(rows.empty());
  const std::size_t n = rows.size();
  EXPECT_EQ((n - 21) % 4, 0u);  // versions grow by four modules
  for (const auto& row : rows) ASSERT_EQ(row.size(), n);
  // The three 7 x 7 finder patterns: a dark ring, a light ring, a dark 3 x 3 centre.
  for (auto [top, left] : {std::pair<std::size_t, std::size_t>{0, 0}, {0, n - 7}, {n - 7, 0}}) {
    for (std::size_t y = 0; y < 7; ++y) {
      for (std::size_t x = 0; x < 7; ++x) {
        bool ring = y == 0 || y == 6 || x == 0 || x == 6;
        bool centre = y >= 2 && y <= 4 && x >= 2 && x <= 4;
        EXPECT_EQ(rows[top + y][left + x], ring || centre) << top << "," << left << " +" << y << "," << x;
      }
    }
  }
}

}  // namespace
}  // namespace qm
