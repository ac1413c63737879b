#include "skype/api_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "skype/api_command.h"

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

// Both telephone backends read a command through this one parser: every word but a call's target matched without
// regard to case, the status and the refusal's reason included.
TEST(ApiCommandGrammar, EveryKeywordInAnyCaseTheTargetAsWritten) {
  using V = ApiCommand::Verb;
  struct Row {
    const char* text;
    V verb;
    int callId;
    const char* detail;  // the reply, the target, the action and reason, or the mute state
  };
  const Row rows[] = {
      {"call Echo123", V::Call, 0, "Echo123"},
      {"CALL", V::Invalid, 0, "ERROR 34 Invalid user handle"},
      {"set call 7 status finished", V::HangUp, 7, ""},
      {"SET CALL 7 STATUS RINGING", V::Invalid, 0, "ERROR 2 Unknown command"},
      {"get call 7 duration", V::GetDuration, 7, ""},
      {"GET CALL x STATUS", V::GetStatus, 0, ""},
      {"GET CALL 4294967297 STATUS", V::GetStatus, 0, ""},
      {"alter call 3 end busy", V::Alter, 3, "END BUSY"},
      {"ALTER CALL 3 hold", V::Alter, 3, "HOLD"},
      {"ALTER CALL 3 END", V::Invalid, 0, "ERROR 2 Unknown command"},
      {"set mute on", V::SetMute, 0, "ON"},
      {"get mute", V::GetMute, 0, ""},
      {"protocol 8", V::Protocol, 0, "PROTOCOL 8"},
      {"Ping", V::Ping, 0, "PONG"},
      {"ping now", V::Invalid, 0, "ERROR 2 Unknown command"},
      {"", V::Invalid, 0, "ERROR 2 Unknown command"},
  };
  for (const Row& row : rows) {
    ApiCommand c = parseApiCommand(row.text);
    std::string detail = !c.reply.empty()       ? c.reply
                         : c.verb == V::Call    ? c.target
                         : c.verb == V::Alter   ? c.action + (c.reason.empty() ? "" : " " + c.reason)
                         : c.verb == V::SetMute ? (c.on ? "ON" : "OFF")
                                                : "";
    EXPECT_EQ(c.verb, row.verb) << row.text;
    EXPECT_EQ(c.callId, row.callId) << row.text;
    EXPECT_EQ(detail, row.detail) << row.text;
  }
}

}  // namespace
}  // namespace qm
