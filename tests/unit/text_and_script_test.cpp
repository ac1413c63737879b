// Number and text rules the windows share, and the scenario language's lexical rules.
#include <gtest/gtest.h>

#include "platform/vb_text.h"
#include "scenario/script.h"

namespace qm {
namespace {

TEST(Numbers, IntegersAcceptSignsAndBlanksOnly) {
  EXPECT_EQ(parseInteger(" -3 "), -3);
  EXPECT_EQ(parseInteger("+2"), 2);
  EXPECT_EQ(parseInteger(""), std::nullopt);
  EXPECT_EQ(parseInteger("1.5"), std::nullopt);
  EXPECT_EQ(parseInteger("12abc"), std::nullopt);
  EXPECT_EQ(parseInteger("99999999999999999999"), std::nullopt);
}

TEST(Numbers, NumbersTakeAFractionAndFormatWithoutOneWhenWhole) {
  EXPECT_EQ(parseNumber("4"), 4.0);
  EXPECT_EQ(parseNumber(" 0.25"), 0.25);
  EXPECT_EQ(parseNumber("."), std::nullopt);
  EXPECT_EQ(parseNumber("4 minutes"), std::nullopt);
  EXPECT_EQ(formatNumber(240), "240");
  EXPECT_EQ(formatNumber(-1), "-1");
  EXPECT_EQ(formatNumber(15.5), "15.5");
}

TEST(Text, SpellingAndReplacing) {
  EXPECT_EQ(spellOut("123"), "1 2 3 ");
  EXPECT_EQ(spellOut(""), "");
  EXPECT_EQ(spellOut("\xC3\xA9x"), "\xC3\xA9 x ");
  EXPECT_EQ(replaceAll("*#12*#34", "*#", ""), "1234");
  EXPECT_EQ(replaceAll("100", "0", " Zero "), "1 Zero  Zero ");
  EXPECT_EQ(lastCharacters("abcdef", 3), "def");
  EXPECT_EQ(lastCharacters("ab", 3), "ab");
  EXPECT_EQ(firstCharacters("abcdef", 2), "ab");
}

TEST(Script, WordsQuotesAndEscapes) {
  auto w = splitWords("  expect say \"Call 1 2 3  . Enter\" ");
  ASSERT_TRUE(w);
  EXPECT_EQ(*w, (std::vector<std::string>{"expect", "say", "Call 1 2 3  . Enter"}));
  w = splitWords(R"(file x.ini "[S]\r\nk=\"v\"\\\t")");
  ASSERT_TRUE(w);
  EXPECT_EQ((*w)[2], "[S]\r\nk=\"v\"\\\t");
  EXPECT_EQ((*splitWords("set a \"\""))[2], "");
  EXPECT_FALSE(splitWords("   # a comment"));
  EXPECT_FALSE(splitWords(""));
  EXPECT_THROW(splitWords("say \"open"), ScriptError);
  EXPECT_THROW(splitWords("say \"bad \\q\""), ScriptError);
}

TEST(Script, LinesKeepTheirNumbersAndErrorsNameThem) {
  auto lines = parseScript("start\r\n\r\n# c\nwait 3s\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].number, 4);
  try {
    parseScript("start\nsay \"x");
    FAIL();
  } catch (const ScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos);
  }
}

TEST(Script, Durations) {
  using namespace std::chrono_literals;
  EXPECT_EQ(parseDuration("250ms"), 250ms);
  EXPECT_EQ(parseDuration("10s"), 10s);
  EXPECT_EQ(parseDuration("4m"), 4min);
  EXPECT_EQ(parseDuration("1h"), 1h);
  EXPECT_EQ(parseDuration("1.5s"), 1500ms);
  EXPECT_THROW(parseDuration("10"), ScriptError);
  EXPECT_THROW(parseDuration("s"), ScriptError);
  EXPECT_THROW(parseDuration("3days"), ScriptError);
}

TEST(Script, QuotingRoundTrips) {
  std::string text = "a \"b\" \\ \r\n\t";
  EXPECT_EQ((*splitWords("x " + quote(text)))[1], text);
}

}  // namespace
}  // namespace qm
