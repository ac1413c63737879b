#include "skype/api_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qm {
namespace {

LPARAM recordFor(COPYDATASTRUCT& cds, const char* bytes, std::uint32_t count) {
  cds = {0, count, bytes};
  return reinterpret_cast<LPARAM>(&cds);
}

TEST(ApiTextOut, ACommandGoesOutWithOneZeroByteCountedInCbData) {
  ApiText text("SET CALL 12 STATUS FI");  // 21 characters
  ApiText twenty("CALL 001234567890123");
  ASSERT_EQ(std::strlen("CALL 001234567890123"), 20u);
  EXPECT_EQ(twenty.record().cbData, 21u);
  EXPECT_EQ(static_cast<const char*>(twenty.record().lpData)[20], '\0');
  EXPECT_EQ(std::memcmp(twenty.record().lpData, "CALL 001234567890123", 20), 0);
  EXPECT_EQ(twenty.record().dwData, 0u);
  EXPECT_EQ(reinterpret_cast<const COPYDATASTRUCT*>(twenty.lParam()), &twenty.record());
  EXPECT_EQ(text.record().cbData, 22u);
}

TEST(ApiTextOut, CbDataCountsBytesNotCharacters) {
  ApiText text("CALL J\xC3\xBCrgen");  // "Jürgen": 6 characters, 7 bytes
  EXPECT_EQ(text.record().cbData, 5u + 7u + 1u);
}

TEST(ApiTextIn, TheTextEndsAtTheFirstZeroOrAtCbData) {
  COPYDATASTRUCT cds;
  EXPECT_EQ(decodeApiText(recordFor(cds, "PONG\0", 5)), "PONG");
  EXPECT_EQ(decodeApiText(recordFor(cds, "PONGxxxx", 4)), "PONG") << "no zero: never past cbData";
  EXPECT_EQ(decodeApiText(recordFor(cds, "AB\0CD", 5)), "AB");
  EXPECT_EQ(decodeApiText(recordFor(cds, "\0AB", 3)), "");
  EXPECT_EQ(decodeApiText(recordFor(cds, "ABC", 0)), "");
  EXPECT_EQ(decodeApiText(0), "");
}

TEST(ApiTextIn, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  EXPECT_EQ(toValidUtf8("CALL \xFF"
                        "1"),
            "CALL \xEF\xBF\xBD"
            "1");
  EXPECT_EQ(toValidUtf8("\xC3\xBC ok"), "\xC3\xBC ok");
  EXPECT_EQ(toValidUtf8("\xC3"), "\xEF\xBF\xBD") << "cut short";
  EXPECT_EQ(toValidUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "overlong";
  EXPECT_EQ(toValidUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "surrogate";
  EXPECT_EQ(toValidUtf8("\xF0\x9F\x93\x9E"), "\xF0\x9F\x93\x9E");
  EXPECT_EQ(toValidUtf8("\xF4\x90\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "beyond U+10FFFF";
}

}  // namespace
}  // namespace qm
