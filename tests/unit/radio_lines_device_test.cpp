// Serial, CM108 and GPIO lines against stand-in devices (fake_devices_shim.cpp: open, ioctl, read, write, termios
// and libgpiod are taken over for paths under a folder of the test's), and the device inventory on a made-up
// /dev, /sys and /proc.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "fatal_status.h"
#include "radio/device_inventory.h"
#include "radio/lines.h"
#include "radio/release_ptt.h"

namespace fs = std::filesystem;
using namespace qm::radio;

namespace {

class FakeDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::dlsym(RTLD_DEFAULT, "qm_fake_devices_shim"), nullptr) << "the stand-in devices are not linked in";
    char pattern[] = "/tmp/quillmere-devices-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv("QM_FAKE_DEVICES", dir_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("QM_FAKE_DEVICES");
    fs::remove_all(dir_);
  }

  std::string device(const std::string& name, const std::string& content = "") {
    write(name, content);
    return (dir_ / name).string();
  }
  void write(const std::string& name, const std::string& content) { std::ofstream(dir_ / name) << content; }
  std::string read(const std::string& name) {
    std::ifstream in(dir_ / name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int modem(const std::string& port) { return std::stoi(read(port + ".modem")); }

  static LineSpec wiring(const std::string& text, LineUse use) {
    std::string error;
    auto parsed = parseLineSpec(text, use, error);
    EXPECT_TRUE(parsed) << error;
    return parsed.value_or(LineSpec{});
  }

  fs::path dir_;
};

TEST_F(FakeDevices, SerialPttReleasesRtsOnOpenKeysItAndReleasesItWhenDestroyed) {
  const std::string port = device("ttyFAKE0");
  write("ttyFAKE0.modem", std::to_string(TIOCM_RTS | TIOCM_DTR));  // as a port comes up when opened
  std::string error;
  auto line = openPttLine(wiring("serial:" + port + ":RTS", LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(modem("ttyFAKE0"), TIOCM_DTR) << "released at once; DTR left alone";
  ASSERT_TRUE(line->key(true, error)) << error;
  EXPECT_EQ(modem("ttyFAKE0"), TIOCM_RTS | TIOCM_DTR);
  ASSERT_TRUE(line->key(false, error));
  EXPECT_EQ(modem("ttyFAKE0"), TIOCM_DTR);
  ASSERT_TRUE(line->key(true, error));
  line.reset();
  EXPECT_EQ(modem("ttyFAKE0"), TIOCM_DTR);
  EXPECT_EQ(read("ttyFAKE0.hupcl"), "") << "a plain pin keeps the port's usual close";
}

TEST_F(FakeDevices, InvertedSerialPttHoldsDtrHighWhenReleasedAndKeepsItOverAClose) {
  const std::string port = device("ttyFAKE1");
  write("ttyFAKE1.modem", "0");
  std::string error;
  auto line = openPttLine(wiring("serial:" + port + ":!dtr", LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(modem("ttyFAKE1"), TIOCM_DTR);
  EXPECT_EQ(read("ttyFAKE1.hupcl"), "0\n") << "closing must not drop DTR, which would key";
  ASSERT_TRUE(line->key(true, error));
  EXPECT_EQ(modem("ttyFAKE1"), 0);
  line.reset();
  EXPECT_EQ(modem("ttyFAKE1"), TIOCM_DTR);
}

TEST_F(FakeDevices, SerialSquelchReadsItsModemLineAndIsPolled) {
  const std::string port = device("ttyFAKE2");
  write("ttyFAKE2.modem", "0");
  std::string error;
  auto dcd = openSquelchLine(wiring("serial:" + port + ":DCD", LineUse::Squelch), error);
  ASSERT_TRUE(dcd) << error;
  auto cts = openSquelchLine(wiring("serial:" + port + ":!CTS", LineUse::Squelch), error);
  ASSERT_TRUE(cts) << error;
  EXPECT_EQ(dcd->fd(), -1);
  EXPECT_EQ(dcd->carrier(error), false);
  EXPECT_EQ(cts->carrier(error), true);
  write("ttyFAKE2.modem", std::to_string(TIOCM_CAR | TIOCM_CTS));
  EXPECT_EQ(dcd->carrier(error), true);
  EXPECT_EQ(cts->carrier(error), false);
}

TEST_F(FakeDevices, ASerialDeviceThatIsMissingOrNoPortIsNamed) {
  std::string error;
  EXPECT_FALSE(openPttLine(wiring("serial:" + (dir_ / "ttyGONE").string() + ":RTS", LineUse::Ptt), error));
  EXPECT_NE(error.find("cannot open " + (dir_ / "ttyGONE").string() + ": No such file or directory"), std::string::npos)
      << error;
  EXPECT_NE(error.find("serial ports"), std::string::npos) << error;

  const std::string notAPort = device("hidrawNOTSERIAL");
  EXPECT_FALSE(openSquelchLine(wiring("serial:" + notAPort + ":DCD", LineUse::Squelch), error));
  EXPECT_NE(error.find("is no serial port with modem lines"), std::string::npos) << error;
}

TEST_F(FakeDevices, Cm108PttSendsTheGpioReportWithItsDirectionMask) {
  const std::string fob = device("hidrawFAKE0");
  std::string error;
  auto line = openPttLine(wiring("cm108:" + fob + ":GPIO3", LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  ASSERT_TRUE(line->key(true, error)) << error;
  ASSERT_TRUE(line->key(false, error));
  ASSERT_TRUE(line->key(true, error));
  line.reset();
  EXPECT_EQ(read("hidrawFAKE0.reports"),
            "00 00 00 04 00\n"  // released on open
            "00 00 04 04 00\n"
            "00 00 00 04 00\n"
            "00 00 04 04 00\n"
            "00 00 00 04 00\n");  // released when destroyed

  const std::string inverted = device("hidrawFAKE1");
  line = openPttLine(wiring("cm108:" + inverted + ":!GPIO1", LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  ASSERT_TRUE(line->key(true, error));
  EXPECT_EQ(read("hidrawFAKE1.reports"), "00 00 01 01 00\n00 00 00 01 00\n");
}

TEST_F(FakeDevices, ADeviceThatIsNoCm108IsRefusedWithItsIds) {
  const std::string mouse = device("hidrawMOUSE");
  write("hidrawMOUSE.ids", "046d:c52b");
  std::string error;
  EXPECT_FALSE(openPttLine(wiring("cm108:" + mouse + ":GPIO3", LineUse::Ptt), error));
  EXPECT_NE(error.find("is 046d:c52b"), std::string::npos) << error;
  EXPECT_NE(error.find("not a CM108/CM119 sound interface"), std::string::npos) << error;
  EXPECT_EQ(read("hidrawMOUSE.reports"), "") << "nothing is sent to a device that is not one";
  write("hidrawAIOC.ids", "1209:7388");
  EXPECT_TRUE(openPttLine(wiring("cm108:" + device("hidrawAIOC") + ":GPIO3", LineUse::Ptt), error)) << error;
}

TEST_F(FakeDevices, Cm108SquelchTakesThePresentStateThenEachInputReport) {
  const std::string fob = device("hidrawFAKE2");
  write("hidrawFAKE2.input", "02 00 00 00");
  std::string error;
  auto volumeDown = openSquelchLine(wiring("cm108:" + fob + ":VOL_DN", LineUse::Squelch), error);
  ASSERT_TRUE(volumeDown) << error;
  auto muteRecord = openSquelchLine(wiring("cm108:" + fob + ":!MUTE_REC", LineUse::Squelch), error);
  ASSERT_TRUE(muteRecord) << error;
  EXPECT_GE(volumeDown->fd(), 0);
  EXPECT_EQ(volumeDown->carrier(error), true) << "the state at open, before any report";
  EXPECT_EQ(muteRecord->carrier(error), true);
  write("hidrawFAKE2.input", "08 00 00 00");
  EXPECT_EQ(volumeDown->carrier(error), false);
  EXPECT_EQ(muteRecord->carrier(error), false);
  EXPECT_EQ(volumeDown->carrier(error), false) << "no new report: the state holds";
}

TEST_F(FakeDevices, GpioPttIsRequestedAtItsReleasedLevelAndFoundByName) {
  const std::string chip = device("gpiochipFAKE0", "label=pinctrl-fake\nlines=8\nnames=a,b,PTT,d\n");
  std::string error;
  auto line = openPttLine(wiring("gpio:" + chip + ":PTT", LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  ASSERT_TRUE(line->key(true, error)) << error;
  EXPECT_EQ(read("gpiochipFAKE0.values"), "00100000");
  line.reset();
  EXPECT_EQ(read("gpiochipFAKE0.log"), "output 2 0\nset 2 1\nset 2 0\nrelease 2\n");

  line = openPttLine(wiring("gpio:" + chip + ":!5", LineUse::Ptt), error);
  ASSERT_TRUE(line) << error;
  ASSERT_TRUE(line->key(true, error));
  EXPECT_EQ(read("gpiochipFAKE0.values"), "00000000");
  line.reset();
  EXPECT_EQ(read("gpiochipFAKE0.values"), "00000100");
  EXPECT_NE(read("gpiochipFAKE0.log").find("output 5 1\nset 5 0\nset 5 1\nrelease 5\n"), std::string::npos);
}

TEST_F(FakeDevices, GpioSquelchWakesOnItsEventDescriptorAndReadsTheLevel) {
  const std::string chip = device("gpiochipFAKE1", "label=fake\nlines=8\n");
  write("gpiochipFAKE1.values", "00000000");
  std::string error;
  auto line = openSquelchLine(wiring("gpio:" + chip + ":4", LineUse::Squelch), error);
  ASSERT_TRUE(line) << error;
  ASSERT_GE(line->fd(), 0);
  EXPECT_EQ(line->carrier(error), false);
  write("gpiochipFAKE1.values", "00001000");
  const std::uint64_t edge = 1;
  ASSERT_EQ(::write(line->fd(), &edge, sizeof edge), static_cast<ssize_t>(sizeof edge));
  pollfd p{line->fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 0), 1);
  EXPECT_EQ(line->carrier(error), true);
  EXPECT_EQ(::poll(&p, 1, 0), 0) << "the events were taken";
}

TEST_F(FakeDevices, AGpioLineThatIsMissingOrBusyIsNamed) {
  const std::string chip = device("gpiochipFAKE2", "label=fake\nlines=8\nnames=a,b\nused=3\n");
  std::string error;
  EXPECT_FALSE(openPttLine(wiring("gpio:" + chip + ":8", LineUse::Ptt), error));
  EXPECT_NE(error.find("(\"fake\", lines 0..7) has no line 8"), std::string::npos) << error;
  EXPECT_FALSE(openPttLine(wiring("gpio:" + chip + ":PTT", LineUse::Ptt), error));
  EXPECT_NE(error.find("has no line named PTT"), std::string::npos) << error;
  EXPECT_FALSE(openPttLine(wiring("gpio:" + chip + ":3", LineUse::Ptt), error));
  EXPECT_NE(error.find("already in use by fake-consumer"), std::string::npos) << error;
  EXPECT_FALSE(openSquelchLine(wiring("gpio:" + (dir_ / "gpiochipNONE").string() + ":1", LineUse::Squelch), error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  EXPECT_NE(error.find("gpiochip"), std::string::npos) << error;
}

// After the last `keyed` line of `log`, one or more `released` lines and nothing else. (A sanitizer's report ends in
// abort(), which releases once more.)
bool onlyAfter(const std::string& log, const std::string& keyed, const std::string& released) {
  const std::size_t at = log.rfind(keyed);
  if (at == std::string::npos) return false;
  std::string rest = log.substr(at + keyed.size());
  if (rest.empty()) return false;
  for (std::size_t i = 0; i < rest.size(); i += released.size())
    if (rest.compare(i, released.size(), released) != 0) return false;
  return true;
}

// A child keys a line and dies of SIGSEGV; the stand-in device must show it keyed, then released.
TEST_F(FakeDevices, EveryKindOfPttLineIsReleasedWhenTheProcessDiesKeyed) {
  device("ttyFAKE9");
  write("ttyFAKE9.modem", "0");
  device("hidrawFAKE9");
  device("gpiochipFAKE9", "label=fake\nlines=4\n");
  struct Case {
    std::string text;
    std::function<bool()> keyed, released;
  };
  const std::vector<Case> cases{
      {"serial:" + (dir_ / "ttyFAKE9").string() + ":RTS", [&] { return modem("ttyFAKE9") == TIOCM_RTS; },
       [&] { return modem("ttyFAKE9") == 0; }},
      {"cm108:" + (dir_ / "hidrawFAKE9").string() + ":GPIO4",
       [&] { return read("hidrawFAKE9.reports") == "00 00 00 08 00\n00 00 08 08 00\n"; },
       [&] { return onlyAfter(read("hidrawFAKE9.reports"), "00 00 08 08 00\n", "00 00 00 08 00\n"); }},
      {"gpio:" + (dir_ / "gpiochipFAKE9").string() + ":1", [&] { return read("gpiochipFAKE9.values") == "0100"; },
       [&] { return onlyAfter(read("gpiochipFAKE9.log"), "set 1 1\n", "set 1 0\n"); }},
  };
  for (const Case& line : cases) {
    SCOPED_TRACE(line.text);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const LineSpec parsed = wiring(line.text, LineUse::Ptt);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      rlimit noCore{0, 0};
      ::setrlimit(RLIMIT_CORE, &noCore);
      installEmergencyRelease();
      std::string error;
      auto ptt = openPttLine(parsed, error);
      if (!ptt || !ptt->key(true, error)) ::_exit(3);
      const char c = 'k';
      if (::write(ready[1], &c, 1) != 1) ::_exit(4);
      for (;;) ::pause();
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_TRUE(line.keyed());
    ::kill(child, SIGSEGV);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(diedOf(status, SIGSEGV));
    EXPECT_TRUE(line.released());
    ::close(ready[0]);
    ::close(ready[1]);
  }
}

// SIGKILL leaves no handler a chance: the line stays keyed until --release-ptt releases what the settings name.
TEST_F(FakeDevices, ReleasePttReleasesWhatAKilledProcessLeftKeyed) {
  const std::string port = device("ttyFAKE5");
  write("ttyFAKE5.modem", "0");
  const std::string fob = device("hidrawFAKE5");
  const fs::path home = dir_ / "home";
  fs::create_directories(home);
  struct Case {
    std::string ptt;
    std::function<bool()> keyed, released;
  };
  const std::vector<Case> cases{
      {"serial:" + port + ":RTS", [&] { return modem("ttyFAKE5") == TIOCM_RTS; },
       [&] { return modem("ttyFAKE5") == 0; }},
      // --release-ptt releases as it opens, once more when asked, and again as it closes.
      {"cm108:" + fob + ":GPIO3", [&] { return read("hidrawFAKE5.reports").ends_with("00 00 04 04 00\n"); },
       [&] {
         return read("hidrawFAKE5.reports")
             .ends_with("00 00 04 04 00\n00 00 00 04 00\n00 00 00 04 00\n00 00 00 04 00\n");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ptt);
    std::ofstream(home / "quillmere_radio.ini") << "[SETTINGS]\nPtt=" << c.ptt << "\n";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const LineSpec line = wiring(c.ptt, LineUse::Ptt);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      installEmergencyRelease();
      std::string error;
      auto keyed = openPttLine(line, error);
      if (!keyed || !keyed->key(true, error)) ::_exit(3);
      const char byte = 'k';
      if (::write(ready[1], &byte, 1) != 1) ::_exit(4);
      for (;;) ::pause();
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(c.keyed()) << "SIGKILL leaves the line keyed";

    std::ostringstream out, errors;
    EXPECT_EQ(runReleasePtt({home, dir_ / "machine"}, out, errors), 0) << errors.str();
    EXPECT_EQ(out.str(), "quillmere: released the PTT line " + c.ptt + "\n");
    EXPECT_EQ(errors.str(), "");
    EXPECT_TRUE(c.released());
  }
}

TEST_F(FakeDevices, TheInventoryListsWhatTheKernelShows) {
  const fs::path dev = dir_ / "dev", sys = dir_ / "sys", proc = dir_ / "proc";
  for (const fs::path& folder : {dev / "serial" / "by-id", sys / "class" / "tty" / "ttyS0",
                                 sys / "class" / "tty" / "ttyS1", sys / "class" / "hidraw" / "hidraw0" / "device",
                                 sys / "class" / "hidraw" / "hidraw1" / "device", proc / "asound"})
    fs::create_directories(folder);
  for (const char* name : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB0", "ttyACM0", "hidraw0", "hidraw1", "tty"})
    std::ofstream(dev / name) << "";
  std::ofstream(dev / "gpiochip0") << "label=pinctrl-bcm2711\nlines=58\n";
  std::ofstream(sys / "class" / "tty" / "ttyS0" / "type") << "4\n";
  std::ofstream(sys / "class" / "tty" / "ttyS1" / "type") << "0\n";  // no UART behind it
  fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0");
  std::ofstream(sys / "class" / "hidraw" / "hidraw0" / "device" / "uevent")
      << "DRIVER=hid-generic\nHID_ID=0003:00000D8C:0000013C\nHID_NAME=C-Media Electronics Inc. USB Audio Device\n";
  std::ofstream(sys / "class" / "hidraw" / "hidraw1" / "device" / "uevent")
      << "HID_ID=0003:0000046D:0000C52B\nHID_NAME=Logitech USB Receiver\n";
  std::ofstream(proc / "asound" / "cards") << " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
                                              "                      HDA Intel PCH at 0xf7f10000 irq 32\n"
                                              " 1 [Device         ]: USB-Audio - USB PnP Sound Device\n"
                                              "                      C-Media USB PnP Sound Device at usb-1\n";

  const DeviceInventory inventory = takeInventory({dev, sys, proc}, false);
  const std::vector<std::string> lines = describeInventory(inventory);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0],
            "sound cards here: hw:0 (hw:PCH) HDA-Intel - HDA Intel PCH, hw:1 (hw:Device) USB-Audio - USB PnP Sound "
            "Device");
  EXPECT_EQ(lines[1], "no JACK server runs");
  EXPECT_EQ(lines[2], "serial ports here: " + (dev / "ttyACM0").string() + ", " + (dev / "ttyS0").string() + ", " +
                          (dev / "ttyS2").string() + ", " + (dev / "ttyS10").string() + ", " +
                          (dev / "ttyUSB0").string() + " (" +
                          (dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0").string() + ")");
  EXPECT_EQ(lines[3], "hidraw devices here: " + (dev / "hidraw0").string() +
                          " 0d8c:013c C-Media Electronics Inc. USB Audio Device [CM108AH], " +
                          (dev / "hidraw1").string() + " 046d:c52b Logitech USB Receiver");
  EXPECT_EQ(lines[4], "gpiochips here: " + (dev / "gpiochip0").string() + " \"pinctrl-bcm2711\" 58 lines");
  EXPECT_TRUE(inventory.hidraw[0].cm108);
  EXPECT_FALSE(inventory.hidraw[1].cm108);
}

}  // namespace
