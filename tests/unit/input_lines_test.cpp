// Lines from standard input: split at each line break wherever the pieces end, an overlong line skipped to its end
// with one notice, and nothing kept beyond the limit however long a line runs.
#include <gtest/gtest.h>

#include "scenario/input_lines.h"

namespace qm {
namespace {

TEST(InputLines, LinesAreSplitAcrossPiecesAndLoseTheirBreaks) {
  InputLines in(16);
  auto a = in.take("dtmf \"#1");
  EXPECT_TRUE(a.lines.empty());
  auto b = in.take("#\"\r\ncarrier on\n\nrx");
  ASSERT_EQ(b.lines.size(), 3u);
  EXPECT_EQ(b.lines[0], "dtmf \"#1#\"");
  EXPECT_EQ(b.lines[1], "carrier on");
  EXPECT_EQ(b.lines[2], "");
  EXPECT_EQ(in.take(" off\n").lines, std::vector<std::string>{"rx off"});
}

TEST(InputLines, AnOverlongLineIsSkippedToItsEndWithOneNoticeAndNothingKept) {
  InputLines in(16);
  int notices = 0;
  for (int i = 0; i < 1000; ++i) {
    auto t = in.take(std::string(1000, 'x'));
    notices += t.overlong;
    EXPECT_TRUE(t.lines.empty());
    EXPECT_LE(in.buffered(), 16u);
  }
  EXPECT_EQ(notices, 1);
  auto after = in.take("xxx\ndtmf A\n");
  EXPECT_EQ(after.overlong, 0);
  EXPECT_EQ(after.lines, std::vector<std::string>{"dtmf A"});
  // Exactly at the limit is still a line; one byte more is not.
  EXPECT_EQ(in.take(std::string(16, 'y') + "\n").lines.size(), 1u);
  auto over = in.take(std::string(17, 'y') + "\nok\n");
  EXPECT_EQ(over.overlong, 1);
  EXPECT_EQ(over.lines, std::vector<std::string>{"ok"});
}

}  // namespace
}  // namespace qm
