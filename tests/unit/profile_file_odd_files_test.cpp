// Settings files that are not what they should be: unreadable, a FIFO, a device, a folder, far too long, a symbolic
// link, private, or with a save's temporary file left behind. Nothing hangs, nothing grows without bound, and a save
// never loses what the operator keeps in the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/profile_file.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class OddSettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillmere-odd-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir / "quillmere.ini";
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir, path;
};

// Root reads any file, so the check runs as user "nobody" in a child process; true when `body` held.
bool asNormalUser(const fs::path& dir, const std::function<bool()>& body) {
  if (geteuid() != 0) return body();
  chmod(dir.c_str(), 0777);
  pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(OddSettingsFile, AnUnreadableFileIsReportedAndASaveNeverReplacesIt) {
  const std::string kept = "; the operator's notes\r\n[SETTINGS]\r\nMins=7\r\n[OTHER]\r\nx=1\r\n";
  put(path, kept);
  chmod(path.c_str(), 0);
  EXPECT_TRUE(asNormalUser(dir, [&] {
    ProfileFile f = ProfileFile::load(path);
    if (!contains(f.readProblem(), path.string()) || !contains(f.readProblem(), "Permission denied")) return false;
    if (f.get("SETTINGS", "Mins")) return false;
    f.write("SETTINGS", "Mins", "9");
    auto error = f.save(path);
    return error && contains(*error, "left as it is");
  }));
  chmod(path.c_str(), 0600);
  EXPECT_EQ(slurp(path), kept);
}

TEST_F(OddSettingsFile, AFifoADeviceOrAFolderIsRefusedAtOnceAndNeverReplaced) {
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  auto before = std::chrono::steady_clock::now();
  ProfileFile fifo = ProfileFile::load(path);  // with nobody writing, a blocking open would never return
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
  EXPECT_TRUE(contains(fifo.readProblem(), "is a FIFO")) << fifo.readProblem();
  fifo.write("SETTINGS", "Mins", "9");
  EXPECT_TRUE(fifo.save(path).has_value());
  EXPECT_TRUE(fs::is_fifo(path));

  ProfileFile zero = ProfileFile::load("/dev/zero");  // endless: read whole it would take all memory
  EXPECT_TRUE(contains(zero.readProblem(), "/dev/zero is a device")) << zero.readProblem();
  EXPECT_EQ(zero.text(), "");

  fs::create_directory(dir / "folder.ini");
  EXPECT_TRUE(contains(ProfileFile::load(dir / "folder.ini").readProblem(), "is a folder"));
  // Nothing to lose in a file that is missing: it reads empty, without a word, and a save creates it.
  ProfileFile missing = ProfileFile::load(dir / "missing.ini");
  EXPECT_EQ(missing.readProblem(), "");
  EXPECT_EQ(missing.save(dir / "missing.ini"), std::nullopt);
}

TEST_F(OddSettingsFile, AFileOverTheLimitIsReadUpToItAndASaveLeavesItWhole) {
  std::string big;
  while (big.size() < 3 * kProfileFileLimit) big += "Key" + std::to_string(big.size()) + "=some value\r\n";
  big = "[SETTINGS]\r\nMins=7\r\n" + big;
  put(path, big);
  ProfileFile f = ProfileFile::load(path);
  EXPECT_EQ(f.get("SETTINGS", "Mins"), "7");
  EXPECT_LE(f.text().size(), kProfileFileLimit);
  // Only whole lines are read.
  EXPECT_EQ(f.text().substr(f.text().size() - 2), "\r\n");
  EXPECT_TRUE(contains(f.readProblem(), std::to_string(big.size()) + " bytes long")) << f.readProblem();
  EXPECT_TRUE(contains(f.readProblem(), "the rest is ignored"));
  f.write("SETTINGS", "Mins", "9");
  EXPECT_TRUE(f.save(path).has_value());
  EXPECT_EQ(slurp(path), big);
}

TEST_F(OddSettingsFile, ASaveKeepsTheModeAndOwnerAndCreatesAPrivateFileWhenAsked) {
  put(path, "[SETTINGS]\r\nPassword=secret\r\n");
  chmod(path.c_str(), 0640);
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  }
  ProfileFile f = ProfileFile::load(path);
  f.write("SETTINGS", "Password", "other");
  ASSERT_EQ(f.save(path), std::nullopt);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  fs::path fresh = dir / "quillmere_sip.ini";
  ASSERT_EQ(ProfileFile::parse("[SETTINGS]\r\nPassword=x\r\n").save(fresh, 0600), std::nullopt);
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  // Any other new file follows the creation mask, as a service's UMask=0027 asks.
  const mode_t before = umask(027);
  ASSERT_EQ(ProfileFile::parse("[SETTINGS]\r\nMins=4\r\n").save(dir / "quillmere_new.ini"), std::nullopt);
  umask(before);
  ASSERT_EQ(stat((dir / "quillmere_new.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(OddSettingsFile, ASaveWritesThroughASymbolicLinkToItsTarget) {
  fs::create_directory(dir / "shared");
  fs::path target = dir / "shared" / "quillmere.ini";
  put(target, "[SETTINGS]\r\nMins=4\r\n");
  fs::create_symlink("shared/quillmere.ini", path);
  ProfileFile f = ProfileFile::load(path);
  f.write("SETTINGS", "Mins", "6");
  ASSERT_EQ(f.save(path), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(slurp(target), "[SETTINGS]\r\nMins=6\r\n");
  // The temporary file was made beside the target (the rename stays on its file system) and is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "shared"), {}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);
}

TEST_F(OddSettingsFile, ALineBreakInAValueNeverSplitsTheFile) {
  ProfileFile f = ProfileFile::parse("[SETTINGS]\r\nTEXT1=\r\nTEXT2=kept\r\n");
  f.write("SETTINGS", "TEXT1", "#99\r\n[SETTINGS]\r\nX=1");
  f.write("SETTINGS\n", "TEXT\r3", "a\nb");
  ProfileFile again = ProfileFile::parse(f.text());
  EXPECT_EQ(again.get("SETTINGS", "TEXT1"), "#99[SETTINGS]X=1");
  EXPECT_EQ(again.get("SETTINGS", "TEXT2"), "kept");
  EXPECT_EQ(again.get("SETTINGS", "TEXT3"), "ab");
  EXPECT_EQ(again.get("SETTINGS", "X"), std::nullopt);
  EXPECT_EQ(f.text(), "[SETTINGS]\r\nTEXT1=#99[SETTINGS]X=1\r\nTEXT2=kept\r\nTEXT3=ab\r\n");
}

TEST_F(OddSettingsFile, ASaveRemovesTheTemporaryFilesThatAKilledSaveLeftBehind) {
  put(path, "[SETTINGS]\r\nMins=4\r\n");
  fs::path stale = dir / ".quillmere.ini.tmp123456", underWay = dir / ".quillmere.ini.tmp654321",
           notOurs = dir / ".quillmere.ini.tmpfile";
  for (const auto& p : {stale, underWay, notOurs}) put(p, "");
  auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
  fs::last_write_time(stale, old);
  fs::last_write_time(notOurs, old);
  ProfileFile f = ProfileFile::load(path);
  f.write("SETTINGS", "Mins", "5");
  ASSERT_EQ(f.save(path), std::nullopt);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(underWay));  // a minute old at most: another save may still be writing it
  EXPECT_TRUE(fs::exists(notOurs));
  EXPECT_EQ(slurp(path), "[SETTINGS]\r\nMins=5\r\n");
}

}  // namespace
}  // namespace qm
