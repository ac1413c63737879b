// The PTY lines for real: a pseudo-terminal behind a symlink, T/R written for PTT, O/Z read for squelch, and the
// transmitter released when the line goes, when a handler failed after keying, when the process dies of a fatal signal
// and on std::terminate.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "fatal_status.h"
#include "platform/output_log.h"
#include "platform/virtual_scheduler.h"
#include "radio/lines.h"
#include "radio/radio_node.h"

namespace fs = std::filesystem;
using namespace qm::radio;

namespace {

class PtyLines : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmere-pty-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  LineSpec wiring(const std::string& text, LineUse use) {
    std::string error;
    auto parsed = parseLineSpec(text, use, error);
    EXPECT_TRUE(parsed) << error;
    return parsed.value_or(LineSpec{});
  }

  // What arrives on `fd` within `ms` milliseconds, stopping once `count` bytes have come.
  static std::string readFor(int fd, std::size_t count, int ms = 2000) {
    std::string got;
    while (got.size() < count) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, ms) <= 0) break;
      char c;
      const ssize_t n = ::read(fd, &c, 1);
      if (n <= 0) break;
      got += c;
    }
    return got;
  }

  // What arrives on `fd` while `action` runs on this thread: the line's destructor waits for its last byte to be
  // read before the pseudo-terminal closes, so the reading must go on meanwhile.
  template <typename Action>
  static std::string readDuring(int fd, Action action) {
    auto reading = std::async(std::launch::async, [fd] { return readFor(fd, 1); });
    action();
    return reading.get();
  }

  fs::path dir_;
};

TEST_F(PtyLines, PttWritesTWhenKeyedAndRWhenReleasedAndOnDestruction) {
  const fs::path link = dir_ / "ptt";
  std::string error;
  auto line = openPttLine(wiring("pty:" + link.string(), LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  ASSERT_TRUE(fs::is_symlink(link));
  const int far = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(far, 0);

  EXPECT_FALSE(line->keyed());
  ASSERT_TRUE(line->key(true, error)) << error;
  EXPECT_TRUE(line->keyed());
  EXPECT_EQ(readFor(far, 1), "T");
  ASSERT_TRUE(line->key(false, error)) << error;
  EXPECT_FALSE(line->keyed());
  EXPECT_EQ(readFor(far, 1), "R");

  ASSERT_TRUE(line->key(true, error));
  EXPECT_EQ(readFor(far, 1), "T");
  EXPECT_EQ(readDuring(far, [&] { line.reset(); }), "R");
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the symlink goes with the line";
  ::close(far);
}

TEST_F(PtyLines, InvertedPttWritesTheOppositeAndReleasesWithT) {
  const fs::path link = dir_ / "ptt";
  std::string error;
  auto line = openPttLine(wiring("pty:" + link.string(), LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  line.reset();
  // parseLineSpec gives no inversion for a path; an inverted wiring made by hand still honours it.
  LineSpec inverted = wiring("pty:" + link.string(), LineUse::Ptt);
  inverted.inverted = true;
  line = openPttLine(inverted, error);
  ASSERT_TRUE(line) << error;
  const int far = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_TRUE(line->key(true, error));
  EXPECT_EQ(readFor(far, 1), "R");
  EXPECT_EQ(readDuring(far, [&] { line.reset(); }), "T");
  ::close(far);
}

TEST_F(PtyLines, AStaleSymlinkIsReplacedAndAnythingElseIsLeftAlone) {
  const fs::path link = dir_ / "squelch";
  fs::create_symlink("/dev/pts/nothing-here", link);
  std::string error;
  auto line = openSquelchLine(wiring("pty:" + link.string(), LineUse::Squelch), error);
  ASSERT_TRUE(line) << error;
  EXPECT_NE(fs::read_symlink(link), "/dev/pts/nothing-here");
  line.reset();

  const fs::path file = dir_ / "notes.txt";
  std::ofstream(file) << "keep me";
  EXPECT_FALSE(openPttLine(wiring("pty:" + file.string(), LineUse::Ptt), error));
  EXPECT_NE(error.find("not a symlink"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_regular_file(file));
}

TEST_F(PtyLines, SquelchReadsOAsCarrierAndZAsNoCarrierAndItsFdWakes) {
  const fs::path link = dir_ / "squelch";
  std::string error;
  auto line = openSquelchLine(wiring("pty:" + link.string(), LineUse::Squelch), error);
  ASSERT_TRUE(line) << error;
  ASSERT_GE(line->fd(), 0);
  EXPECT_EQ(line->carrier(error), false);

  const int far = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(far, 0);
  pollfd p{line->fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 0) << "nothing to read yet";
  ASSERT_EQ(::write(far, "O", 1), 1);
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_EQ(line->carrier(error), true);
  EXPECT_EQ(line->carrier(error), true) << "the state holds until the next letter";
  ASSERT_EQ(::write(far, "xZ\n", 3), 3);
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_EQ(line->carrier(error), false);
  ASSERT_EQ(::write(far, "ZO", 2), 2);
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_EQ(line->carrier(error), true) << "the last letter read counts";

  // The far side may close and come back: the line goes on.
  ::close(far);
  EXPECT_EQ(line->carrier(error), true);
  const int again = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(::write(again, "Z", 1), 1);
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_EQ(line->carrier(error), false);
  ::close(again);
}

// A handler that failed half-way (its error caught, so that the program goes on) may have keyed the transmitter and
// never reached its release: the node lets go of the program's hold, and the line says R.
TEST_F(PtyLines, TheNodeLetsGoOfTheLineAfterAHandlerFailedKeyed) {
  ::setenv("JACK_DEFAULT_SERVER", ("quillmere-pty-test-" + std::to_string(::getpid())).c_str(), 1);  // none runs
  const fs::path link = dir_ / "ptt";
  RadioSettings settings;
  settings.jackServer = "";
  settings.ptt = "pty:" + link.string();
  qm::VirtualScheduler program(qm::Scheduler::TimePoint{});
  qm::NullOutputLog log;
  RadioNode node(program, log, settings);
  node.catchSignals = false;
  node.onProblem = [](const std::string&) {};  // no JACK here: reported and retried, the line works all the same
  std::string error;
  ASSERT_TRUE(node.start(error)) << error;
  const int far = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(far, 0);
  auto app = node.createApp();
  app->SetPTT(true);
  EXPECT_EQ(readFor(far, 1), "T");
  node.releaseAfterFault();
  EXPECT_EQ(readFor(far, 1), "R");
  EXPECT_FALSE(node.pttState());
  node.stop();
  ::close(far);
}

// A child keys a PTT pty and is then killed, faults or terminates; the line must have said R before it died.
constexpr int kTerminate = 0, kRealFault = -1;
class FatalEnd : public PtyLines, public ::testing::WithParamInterface<int> {};

TEST_P(FatalEnd, ReleasesAKeyedLine) {
  const int signal = GetParam();
  const fs::path link = dir_ / "ptt";
  int ready[2], go[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(go), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    installEmergencyRelease();
    std::string error;
    LineSpec wiring{"pty", link.string(), "", false, "pty:" + link.string()};
    auto line = openPttLine(wiring, error);
    if (!line || !line->key(true, error)) ::_exit(3);
    char c = 'k';
    if (::write(ready[1], &c, 1) != 1) ::_exit(4);
    if (::read(go[0], &c, 1) != 1) ::_exit(5);
    if (signal == kTerminate) std::terminate();
    if (signal == kRealFault) {
      // A write to a page that may not be written: the processor's own SIGSEGV, not one sent.
      void* page = ::mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      *static_cast<volatile int*>(page) = 1;
    }
    for (;;) ::pause();
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  const int far = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(far, 0);
  EXPECT_EQ(readFor(far, 1), "T");
  if (signal > 0) ::kill(child, signal);
  ASSERT_EQ(::write(go[1], &c, 1), 1);
  EXPECT_EQ(readFor(far, 1), "R");
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const int expected = signal == kTerminate ? SIGABRT : signal == kRealFault ? SIGSEGV : signal;
  EXPECT_TRUE(diedOf(status, expected)) << "the process still dies of it";
  ::close(far);
  for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Signals, FatalEnd,
                         ::testing::Values(SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, kTerminate, kRealFault),
                         [](const auto& info) {
                           return info.param == kTerminate   ? std::string("terminate")
                                  : info.param == kRealFault ? std::string("fault")
                                                             : std::string(sigabbrev_np(info.param));
                         });

}  // namespace
