// Settings files with the Windows profile semantics: lookups, defaults, the 255-character cut, writes that keep
// every other line, and atomic saves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/profile_file.h"
#include "read_only_folder.h"

namespace qm {
namespace {

TEST(ProfileRead, SectionAndKeyMatchWithoutRegardToCase) {
  auto f = ProfileFile::parse("[Settings]\r\nmins=7\r\n");
  EXPECT_EQ(f.read("SETTINGS", "Mins", "4"), "7");
  EXPECT_EQ(f.read("settings", "MINS", "4"), "7");
}

TEST(ProfileRead, DefaultOnlyWhenTheKeyIsAbsent) {
  auto f = ProfileFile::parse("[SETTINGS]\r\nTEXT1b=\r\n");
  EXPECT_EQ(f.read("SETTINGS", "TEXT1b", "ABCD"), "");
  EXPECT_EQ(f.read("SETTINGS", "TEXT2b", "x"), "x");
  EXPECT_EQ(f.read("OTHER", "TEXT1b", "y"), "y");
  EXPECT_EQ(ProfileFile::parse("").read("SETTINGS", "a", "d"), "d");
}

TEST(ProfileRead, BlanksAndOneOuterPairOfQuotesAreStripped) {
  auto f = ProfileFile::parse("[S]\n  a  =  hello world  \nb=\"quoted \"\nc='single'\nd=\"unbalanced\ne=\"\"x\"\"\n");
  EXPECT_EQ(f.read("S", "a", ""), "hello world");
  EXPECT_EQ(f.read("S", "b", ""), "quoted ");
  EXPECT_EQ(f.read("S", "c", ""), "single");
  EXPECT_EQ(f.read("S", "d", ""), "\"unbalanced");
  EXPECT_EQ(f.read("S", "e", ""), "\"x\"");
}

TEST(ProfileRead, TheFirstOfTwoEqualKeysOrSectionsWins) {
  auto f = ProfileFile::parse("[S]\nk=1\nK=2\n[s]\nk=3\nonly=4\n");
  EXPECT_EQ(f.read("S", "k", ""), "1");
  EXPECT_EQ(f.read("S", "only", "absent"), "absent");
}

TEST(ProfileRead, ValuesAreCutTo255Characters) {
  std::string longValue(300, 'x');
  auto f = ProfileFile::parse("[S]\nk=" + longValue + "\n");
  EXPECT_EQ(f.read("S", "k", "").size(), 255u);
  EXPECT_EQ(f.read("S", "missing", longValue).size(), 255u);
  // A multi-byte character is never split.
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "\xC3\xA9";
  auto g = ProfileFile::parse("[S]\nk=" + accents + "\n");
  EXPECT_EQ(g.read("S", "k", ""), accents.substr(0, 510));
}

TEST(ProfileRead, OddFilesStillRead) {
  // CR-only line ends, no newline at the end, a byte-order mark, junk lines and comments.
  auto f = ProfileFile::parse("\xEF\xBB\xBF[S]\rjunk line\r;k=commented\rk=1\r[T]\rz=\x01\xFF");
  EXPECT_EQ(f.read("S", "k", ""), "1");
  EXPECT_EQ(f.read("T", "z", ""), "\x01\xFF");
  EXPECT_EQ(f.read("S", "junk line", "none"), "none");
}

TEST(ProfileWrite, KeepsAByteOrderMarkSoTheFileReadsTheSameAfterASave) {
  auto f = ProfileFile::parse("\xEF\xBB\xBF[S]\r\nk=1\r\n");
  f.write("S", "j", "2");
  EXPECT_EQ(f.text(), "\xEF\xBB\xBF[S]\r\nk=1\r\nj=2\r\n");
  // After one mark, a second one is part of the first line, which is then no section line: written out and read
  // again, the file must still say so, and the key written must still be found.
  auto g = ProfileFile::parse("\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nk=1\r\n");
  ASSERT_FALSE(g.get("S", "k"));
  g.write("S", "j", "2");
  auto again = ProfileFile::parse(g.text());
  EXPECT_FALSE(again.get("S", "k"));
  EXPECT_EQ(again.get("S", "j"), "2");
  EXPECT_EQ(again.text(), g.text());
}

TEST(ProfileWrite, ChangesOnlyItsOwnLineAndKeepsTheKeysSpelling) {
  auto f = ProfileFile::parse("; comment\r\n[SETTINGS]\r\nMins = 4\r\nOther=x\r\n\r\n[MORE]\r\na=b\r\n");
  f.write("settings", "MINS", "9");
  EXPECT_EQ(f.text(), "; comment\r\n[SETTINGS]\r\nMins=9\r\nOther=x\r\n\r\n[MORE]\r\na=b\r\n");
}

TEST(ProfileWrite, AddsAMissingKeyAfterTheSectionsLastLine) {
  auto f = ProfileFile::parse("[SETTINGS]\r\nA=1\r\n\r\n[MORE]\r\na=b\r\n");
  f.write("SETTINGS", "B", "2");
  EXPECT_EQ(f.text(), "[SETTINGS]\r\nA=1\r\nB=2\r\n\r\n[MORE]\r\na=b\r\n");
}

TEST(ProfileWrite, AddsAMissingSectionAtTheEndAndKeepsTheFilesLineEnds) {
  auto f = ProfileFile::parse("[MORE]\na=b");
  f.write("SETTINGS", "Mins", "4");
  EXPECT_EQ(f.text(), "[MORE]\na=b\n[SETTINGS]\nMins=4\n");
  auto empty = ProfileFile::parse("");
  empty.write("SETTINGS", "Mins", "4");
  empty.write("SETTINGS", "Check1", "1");
  EXPECT_EQ(empty.text(), "[SETTINGS]\r\nMins=4\r\nCheck1=1\r\n");
}

class ProfileSave : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillmere-profile-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    setReadOnly(dir, false);
    std::filesystem::remove_all(dir);
  }
  static std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path dir;
};

TEST_F(ProfileSave, CreatesAMissingFileAndReadsItBack) {
  auto path = dir / "quillmere.ini";
  EXPECT_EQ(readProfileString(path, "SETTINGS", "Mins", "4"), "4");
  auto f = ProfileFile::load(path);
  f.write("SETTINGS", "Mins", "6");
  EXPECT_EQ(f.save(path), std::nullopt);
  EXPECT_EQ(slurp(path), "[SETTINGS]\r\nMins=6\r\n");
  EXPECT_EQ(readProfileString(path, "SETTINGS", "Mins", "4"), "6");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(ProfileSave, AFailedSaveNamesTheFileAndLeavesTheOldOneIntact) {
  auto path = dir / "quillmere.ini";
  std::ofstream(path) << "[SETTINGS]\r\nMins=4\r\n";
  if (!setReadOnly(dir, true)) GTEST_SKIP() << "this file system cannot make a folder read-only for root";
  auto f = ProfileFile::load(path);
  f.write("SETTINGS", "Mins", "9");
  auto error = f.save(path);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find(path.string()), std::string::npos);
  EXPECT_EQ(slurp(path), "[SETTINGS]\r\nMins=4\r\n");
}

TEST_F(ProfileSave, AFolderThatCannotBeCreatedIsReported) {
  auto blocker = dir / "file";
  std::ofstream(blocker) << "x";
  auto f = ProfileFile::parse("");
  f.write("S", "k", "v");
  auto error = f.save(blocker / "sub" / "quillmere.ini");
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("quillmere.ini"), std::string::npos);
}

}  // namespace
}  // namespace qm
