// Bad input the program must survive: every settings file it reads holding binary junk, very long lines, no newline
// at the end, bare carriage returns or a section twice; values far too long; a settings folder that refuses the save
// or a disk that is full; DTMF strings of 100,000 characters, station texts over 32,767 characters and Skype messages
// of a megabyte. Each time the program says what it did in words, goes on working, and loses nothing already saved.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "platform/instance_lock.h"
#include "platform/profile_file.h"
#include "platform/vb_text.h"
#include "platform/virtual_scheduler.h"
#include "read_only_folder.h"
#include "scenario/scenario_exit.h"
#include "scenario/session_actions.h"
#include "session/session.h"
#include "skype/mod_main.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

fs::path makeFolder() {
  std::string pattern = (fs::temp_directory_path() / "quillmere-bad-input-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

std::string readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Makes a folder refuse new files, also for root (who ignores permissions): the immutable flag.

class BadInput : public ::testing::Test {
 protected:
  BadInput() : home_(makeFolder()), machine_(makeFolder()) {}
  ~BadInput() override {
    session_.reset();
    std::error_code ec;
    setReadOnly(home_, false);
    setReadOnly(machine_, false);
    fs::remove_all(home_, ec);
    fs::remove_all(machine_, ec);
  }

  // Starts the program and lets it connect to Skype.
  void start() {
    session_ = std::make_unique<Session>(
        scheduler_, Folders{home_, machine_}, nullptr,
        [this](Session& s) -> std::unique_ptr<ProgramExit> {
          return std::make_unique<ScenarioExit>(s.transcript, [this] { scheduler_.halt(); });
        },
        std::make_unique<FixedInstanceLock>(false));
    session_->skype.setAutoAnswer(std::nullopt);
    runUntilEnded([&] { session_->start(); });
    wait(2500ms);
  }
  void wait(std::chrono::milliseconds d) {
    runUntilEnded([&] { scheduler_.runFor(d); });
  }
  Session& session() { return *session_; }
  std::string value(const std::string& control) { return namedControl(*session_, control).value(); }
  void act(std::vector<std::string> words) {
    runUntilEnded([&] { runAction(*session_, words); });
  }

  // The texts of the output events of one kind so far, consumed.
  std::vector<std::string> take(const std::string& kind) {
    std::vector<std::string> out;
    for (const OutputEvent& e : session_->transcript.pending(kind)) out.push_back(e.arg);
    session_->transcript.pending(kind).clear();
    return out;
  }

  // The program still works: a call request is announced and dialled on confirmation.
  void expectStillWorking() {
    ASSERT_FALSE(scheduler_.halted());
    take("say");
    take("sent");
    act({"dtmf", "*#123"});
    act({"dtmf", "A"});
    EXPECT_EQ(take("say"), std::vector<std::string>{value("Form1.Text1") + " 1 2 3  . " + value("Form1.Text2")});
    EXPECT_EQ(take("sent"), std::vector<std::string>{"CALL 123"});
  }

  fs::path home_, machine_;
  VirtualScheduler scheduler_{Scheduler::TimePoint{}};
  std::unique_ptr<Session> session_;
};

// One key of each settings file the program reads, the control it fills and the button that saves it.
struct SettingsFile {
  const char* name;
  bool machineWide;
  const char* key;
  const char* control;
  const char* value;
  const char* save;
};

const SettingsFile kFiles[] = {
    {"quillmere.ini", false, "Enable_DTMF", "frmMain.Enable_DTMF", "#7#", "frmMain.Command7"},
    {"quillmere_buddy.ini", false, "TEXT1b", "Buddy.Text1b", "9876", "Buddy.Command111"},
    {"quillmere_language.ini", false, "TEXT1", "Form1.Text1", "Dial", "Form1.Command2"},
    {"quillmere_courtsey.ini", true, "CWCALLSIGN", "Form21.CWCallsign", "W1AW", "Form21.Command2"},
    {"quillmere_history.ini", true, "CHECK8", "FormHistory.Check8", "1", "FormHistory.Command19"},
};

// A malformed file holding `key=value` somewhere readable, and a piece of it that a save must keep as it is.
struct Malformed {
  const char* what;
  std::string (*content)(const std::string& entry);
  std::string (*kept)(const std::string& entry);
};

const std::string kJunk("\x00\xFF\xFE\x01 junk \x00=\x7F\xC3\x28", 14);
const std::string kLongLine(1 << 20, 'x');

const Malformed kMalformed[] = {
    {"binary junk around the entry",
     [](const std::string& entry) { return kJunk + "\r\n[SETTINGS]\r\n" + kJunk + "\r\n" + entry + "\r\n" + kJunk; },
     [](const std::string&) { return "\r\n" + kJunk + "\r\n"; }},
    {"a megabyte line and no newline at the end",
     [](const std::string& entry) { return "[SETTINGS]\r\n" + kLongLine + "\r\n;" + kLongLine + "\r\n" + entry; },
     [](const std::string&) { return ";" + kLongLine + "\r\n"; }},
    {"bare carriage returns", [](const std::string& entry) { return "[SETTINGS]\r" + entry + "\r[OTHER]\rk=v\r"; },
     [](const std::string&) { return std::string("[OTHER]\rk=v\r"); }},
    {"the section twice",
     [](const std::string& entry) {
       return "[SETTINGS]\r\n" + entry + "\r\n[Settings]\r\n" + entry.substr(0, entry.find('=')) + "=second\r\n";
     },
     [](const std::string& entry) { return "[Settings]\r\n" + entry.substr(0, entry.find('=')) + "=second\r\n"; }},
};

TEST_F(BadInput, MalformedSettingsFilesAreReadAndSavedWithoutLosingALine) {
  for (const SettingsFile& f : kFiles) {
    for (const Malformed& m : kMalformed) {
      SCOPED_TRACE(std::string(f.name) + ": " + m.what);
      const fs::path path = (f.machineWide ? machine_ : home_) / f.name;
      const std::string entry = std::string(f.key) + "=" + f.value;
      writeBytes(path, m.content(entry));
      start();
      EXPECT_EQ(value(f.control), f.value);
      EXPECT_EQ(take("box"), std::vector<std::string>{});  // nothing in it was a bad value
      act({"click", f.save});
      EXPECT_EQ(take("box"), std::vector<std::string>{});
      const std::string saved = readBytes(path);
      EXPECT_NE(saved.find(m.kept(entry)), std::string::npos) << "a line of the old file was lost";
      EXPECT_EQ(ProfileFile::parse(saved).get("SETTINGS", f.key), f.value);
      expectStillWorking();
      session_.reset();
      fs::remove(path);
    }
  }
}

TEST_F(BadInput, ValuesFarTooLongAreCutOrNamedInAMessage) {
  writeBytes(home_ / "quillmere.ini", "[SETTINGS]\r\nEnable_DTMF=" + std::string(100000, '#') +
                                          "\r\nCheck2=" + std::string(100000, '1') + "\r\n");
  writeBytes(machine_ / "quillmere_history.ini", "[SETTINGS]\r\nCHECK8=" + std::string(100000, '1') + "\r\n");
  start();
  // A text is cut to the 255 characters a settings value holds; a number that cannot be one is named, with its file.
  EXPECT_TRUE(value("frmMain.Enable_DTMF") == std::string(255, '#'));
  EXPECT_EQ(value("frmMain.Check2"), "1");
  EXPECT_EQ(value("FormHistory.Check8"), "0");
  std::vector<std::string> boxes = take("box");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find((home_ / "quillmere.ini").string() + ": the value \"111"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("of Check2 is not a whole number from 0 to 2; using \"1\" instead."), std::string::npos);
  EXPECT_NE(boxes[1].find("quillmere_history.ini: the value \"111"), std::string::npos) << boxes[1];
  expectStillWorking();
}

TEST_F(BadInput, ASaveIntoAFolderThatRefusesItIsReportedAndTheOldFileStays) {
  for (const SettingsFile& f : kFiles) {
    SCOPED_TRACE(f.name);
    const fs::path folder = f.machineWide ? machine_ : home_;
    const std::string old = "[SETTINGS]\r\n" + std::string(f.key) + "=" + f.value + "\r\n; the operator's note\r\n";
    writeBytes(folder / f.name, old);
    start();
    if (!setReadOnly(folder, true)) GTEST_SKIP() << "cannot make a folder read-only here";
    act({"click", f.save});
    setReadOnly(folder, false);
    std::vector<std::string> boxes = take("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Could not save " + (folder / f.name).string()), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("nothing was changed on disk"), std::string::npos) << boxes[0];
    EXPECT_EQ(readBytes(folder / f.name), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              std::count_if(std::begin(kFiles), std::end(kFiles),
                            [&](const SettingsFile& g) { return fs::exists(folder / g.name); }))
        << "a temporary file was left behind";
    expectStillWorking();
    session_.reset();
  }
}

TEST_F(BadInput, AFifoInASettingsFilesPlaceIsNamedAtStartAndNeverReplacedBySave) {
  for (const SettingsFile& f : kFiles) {
    SCOPED_TRACE(f.name);
    const fs::path folder = f.machineWide ? machine_ : home_;
    ASSERT_EQ(mkfifo((folder / f.name).c_str(), 0600), 0);
    start();  // a blocking read would never return here
    std::vector<std::string> boxes = take("box");
    EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](const std::string& b) {
      return b.find((folder / f.name).string() + " is a FIFO") != std::string::npos;
    })) << f.name;
    act({"click", f.save});
    boxes = take("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Could not save " + (folder / f.name).string()), std::string::npos) << boxes[0];
    EXPECT_TRUE(fs::is_fifo(folder / f.name));
    expectStillWorking();
    session_.reset();
    fs::remove(folder / f.name);
  }
}

// A full disk: the home folder on a tmpfs of three pages, in a mount namespace of this process's own (so nothing
// outside the test sees it, and it goes when the test ends). Needs the right to mount; skipped without it.
TEST_F(BadInput, ASaveOntoAFullDiskIsReportedAndTheOldFileStays) {
  const fs::path disk = home_;
  if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=12k") != 0)
    GTEST_SKIP() << "cannot mount a small file system here";
  struct Unmount {
    fs::path at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};
  const std::string old = "[SETTINGS]\r\nMins=4\r\n";
  writeBytes(disk / "quillmere.ini", old);
  {
    // Fill what is left.
    int fd = open((disk / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
  }
  start();
  act({"set", "frmMain.Mins", "9"});
  act({"click", "frmMain.Command7"});
  std::vector<std::string> boxes = take("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Could not save " + (disk / "quillmere.ini").string()), std::string::npos) << boxes[0];
  EXPECT_EQ(readBytes(disk / "quillmere.ini"), old);
  EXPECT_EQ(value("frmMain.Mins"), "9");  // the setting is still in the window, to be saved once there is room
  fs::remove(disk / "filler");
  act({"click", "frmMain.Command7"});
  EXPECT_EQ(take("box"), std::vector<std::string>{});
  EXPECT_EQ(ProfileFile::load(disk / "quillmere.ini").get("SETTINGS", "Mins"), "9");
  expectStillWorking();
  session_.reset();
}

TEST_F(BadInput, AHundredThousandDtmfDigitsAreIgnoredWithAMessage) {
  start();
  take("say");  // DTMF control switched on at start
  take("ptt");
  act({"dtmf", "*#" + std::string(100000, '5')});
  act({"dtmf", std::string(100000, 'D')});
  std::vector<std::string> boxes = take("box");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "A DTMF string of 100002 characters was ignored: the longest taken is 255.");
  EXPECT_EQ(boxes[1], "A DTMF string of 100000 characters was ignored: the longest taken is 255.");
  EXPECT_EQ(take("say"), std::vector<std::string>{});  // nothing announced, the transmitter never keyed for it
  EXPECT_EQ(take("ptt"), std::vector<std::string>{});
  EXPECT_EQ(namedWindow(session(), "frmMain").variable("RequestPending")->get(), "false");
  // The longest string still taken is interpreted: as a request of more digits than any number, refused at once
  // rather than spelled out.
  const std::string longest = "*#" + std::string(253, '1');
  act({"dtmf", longest});
  EXPECT_EQ(take("say"), std::vector<std::string>{"Sorry that number is too long"});
  EXPECT_EQ(value("frmMain.TempCallHold"), "");
  EXPECT_EQ(take("box"), std::vector<std::string>{});
  act({"dtmf", "A"});
  EXPECT_EQ(take("sent"), std::vector<std::string>{});
  act({"dtmf", std::string(256, '1')});
  EXPECT_EQ(take("box").size(), 1u);
  expectStillWorking();
}

TEST_F(BadInput, AStationTextOver32767CharactersIsIgnoredWithAMessage) {
  start();
  take("box");
  act({"stationtext", "N0CALL-L\r->hello\r"});
  EXPECT_EQ(value("frmMain.Text1"), "hello");
  act({"stationtext", "N0CALL-L\r->" + std::string(40000, 'x') + "\r"});
  EXPECT_EQ(take("box"), std::vector<std::string>{"A station text of 40012 characters was ignored: the longest "
                                                  "shown is 32767."});
  EXPECT_EQ(value("frmMain.Text1"), "hello");
  // One of exactly 32767 characters is still shown.
  act({"stationtext", "->" + std::string(32765, 'y')});
  EXPECT_EQ(take("box"), std::vector<std::string>{});
  EXPECT_TRUE(value("frmMain.Text1") == std::string(32765, 'y'));
  expectStillWorking();
}

TEST_F(BadInput, AMegabyteSkypeMessageKeepsTheDataPanelWithinItsCap) {
  start();
  modMain& link = session().program().main().skypeLink();
  std::string huge = "CALL 1 STATUS " + std::string(1 << 20, 'Z');
  COPYDATASTRUCT record;
  record.cbData = static_cast<std::uint32_t>(huge.size());  // no terminating zero
  record.lpData = huge.data();
  runUntilEnded([&] {
    link.windowSystem().SendMessage(link.mainWindowHandle(), WM_COPYDATA, link.SkypeApiHwnd,
                                    reinterpret_cast<LPARAM>(&record));
  });
  const std::string panel = value("frmMain.txtData");  // (not printed: it is long)
  EXPECT_EQ(characterCount(panel), 10000u);
  EXPECT_TRUE(endsWith(panel, std::string(100, 'Z')));
  // Junk bytes arrive as replacement characters; the panel stays valid text.
  std::string junk(200000, '\xFF');
  record.cbData = static_cast<std::uint32_t>(junk.size());
  record.lpData = junk.data();
  runUntilEnded([&] {
    link.windowSystem().SendMessage(link.mainWindowHandle(), WM_COPYDATA, link.SkypeApiHwnd,
                                    reinterpret_cast<LPARAM>(&record));
  });
  EXPECT_EQ(characterCount(value("frmMain.txtData")), 10000u);
  EXPECT_TRUE(endsWith(value("frmMain.txtData"), "\xEF\xBF\xBD"));
  EXPECT_EQ(take("box"), std::vector<std::string>{});
  expectStillWorking();
}

}  // namespace
}  // namespace qm
