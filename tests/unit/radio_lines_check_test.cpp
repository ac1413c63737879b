// quillmere --check: the settings files read as a start reads them, the radio's lines and JACK judged against what
// the machine has, and the exit status; and the two new options on the command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "radio/config_check.h"

namespace fs = std::filesystem;
using namespace qm::radio;

namespace {

class Check : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quillmere-check-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    fs::create_directories(home());
    fs::create_directories(machine());
    // The tests never meet a JACK server that happens to run here.
    ::setenv("JACK_DEFAULT_SERVER", ("quillmere-check-test-" + std::to_string(::getpid())).c_str(), 1);
    inventory_.soundCards = {{0, "PCH", "HDA-Intel - HDA Intel PCH"}};
    inventory_.jackPorts = std::vector<std::string>{"system:capture_1", "system:playback_1"};
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path home() const { return root_ / "home"; }
  fs::path machine() const { return root_ / "machine"; }
  void write(const std::string& name, const std::string& content) {
    std::ofstream(home() / name, std::ios::binary) << content;
  }
  // The whole check with the radio's part judged against the stand-in inventory.
  CheckReport check() {
    return qm::checkConfiguration({home(), machine()}, [this](const RadioSettings& s, CheckReport& report) {
      checkRadio(s, inventory_, report);
    });
  }
  static bool has(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }
  // Runs the program; its standard output and exit status.
  std::pair<std::string, int> run(const std::string& arguments) {
    const std::string command = std::string(QUILLMERE_BINARY) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[512];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
    const int status = ::pclose(pipe);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }

  fs::path root_;
  DeviceInventory inventory_;
};

TEST_F(Check, ACleanConfigurationWithItsJackPortsCanGoOnTheAir) {
  write("quillmere_radio.ini",
        "[SETTINGS]\r\nCapturePort=system:capture_1\r\nPlaybackPort=system:playback_1\r\n"
        "Squelch=pty:" +
            (root_ / "squelch").string() + "\r\n");
  const CheckReport report = check();
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_TRUE(report.blockers.empty()) << report.blockers.front();
  EXPECT_TRUE(has(report.radio, "JACK: a server runs")) << report.radio.front();
  EXPECT_TRUE(has(report.radio, "(made at start)"));
  EXPECT_TRUE(has(report.devices, "sound cards here: hw:0 (hw:PCH)"));
  EXPECT_TRUE(has(report.devices, "JACK ports: system:capture_1, system:playback_1"));
}

TEST_F(Check, BadValuesOfEveryFileAreNamedWithTheRealFolderAndNothingIsWritten) {
  write("quillmere.ini", "[SETTINGS]\r\nCheck1=7\r\n");
  write("quillmere_sip.ini", "[SETTINGS]\r\nRegister=yes\r\n");
  write("quillmere_echolink.ini", "[SETTINGS]\r\nMaxStations=0\r\n");
  write("quillmere_radio.ini", "[SETTINGS]\r\nCwSpeed=300\r\n");
  std::ofstream(machine() / "quillmere_history.ini", std::ios::binary) << "[SETTINGS]\r\nCHECK8=5\r\n";
  const CheckReport report = check();
  ASSERT_EQ(report.problems.size(), 5u);
  EXPECT_EQ(report.problems[0].find((home() / "quillmere.ini").string() + ": the value \"7\" of Check1"), 0u)
      << report.problems[0];
  EXPECT_EQ(report.problems[1].find((machine() / "quillmere_history.ini").string() + ": the value \"5\" of CHECK8"), 0u)
      << report.problems[1];
  EXPECT_NE(report.problems[2].find("\"yes\" of Register is neither 0 nor 1; using \"1\" instead."), std::string::npos);
  EXPECT_NE(report.problems[3].find("\"0\" of MaxStations is not a number from 1 to 100"), std::string::npos);
  EXPECT_NE(report.problems[4].find("\"300\" of CwSpeed"), std::string::npos);
  EXPECT_TRUE(report.blockers.empty()) << "a value replaced by its default keeps the node on the air";
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(home())) files += entry.is_regular_file();
  EXPECT_EQ(files, 4u) << "the check starts the program on copies";
  EXPECT_EQ(std::distance(fs::directory_iterator(machine()), fs::directory_iterator()), 1);
}

TEST_F(Check, SettingsFilesThatCannotBeReadAreNamedOnceAndAnUnreadRadioFileKeepsTheNodeOffTheAir) {
  ASSERT_EQ(::mkfifo((home() / "quillmere.ini").c_str(), 0600), 0);  // a start would refuse it, not hang
  ASSERT_EQ(::mkfifo((home() / "quillmere_radio.ini").c_str(), 0600), 0);
  const CheckReport report = check();
  ASSERT_EQ(report.problems.size(), 2u) << report.problems.front();
  EXPECT_TRUE(has(report.problems, (home() / "quillmere.ini").string() + " is a FIFO"));
  EXPECT_TRUE(has(report.problems, (home() / "quillmere_radio.ini").string() + " is a FIFO"));
  EXPECT_TRUE(has(report.blockers, "quillmere_radio.ini cannot be read"));
}

TEST_F(Check, AMissingOrMisnamedLineKeepsTheNodeOffTheAir) {
  write("quillmere_radio.ini", "[SETTINGS]\r\nPtt=serial:/dev/ttyQUILLMERE9:RTS\r\nSquelch=serial:/dev/ttyS0:RTS\r\n");
  CheckReport report = check();
  EXPECT_TRUE(has(report.blockers, "Ptt \"serial:/dev/ttyQUILLMERE9:RTS\": cannot find /dev/ttyQUILLMERE9"));
  EXPECT_TRUE(has(report.blockers, "Squelch names no line that exists"));
  EXPECT_TRUE(has(report.problems, "RTS is no input pin of a serial port"));

  std::ofstream(root_ / "notes") << "mine";
  write("quillmere_radio.ini", "[SETTINGS]\r\nPtt=pty:" + (root_ / "notes").string() + "\r\n");
  report = check();
  ASSERT_EQ(report.blockers.size(), 1u);
  EXPECT_NE(report.blockers[0].find("is already there and is not a symlink"), std::string::npos);
}

TEST_F(Check, JackPortsAndTheServerToStartAreJudged) {
  write("quillmere_radio.ini", "[SETTINGS]\r\nCapturePort=system:capture_9\r\n");
  CheckReport report = check();
  ASSERT_EQ(report.blockers.size(), 1u);
  EXPECT_NE(report.blockers[0].find("CapturePort \"system:capture_9\" is no port of the running JACK server; JACK "
                                    "ports: system:capture_1"),
            std::string::npos)
      << report.blockers[0];

  inventory_.jackPorts.reset();
  write("quillmere_radio.ini", "[SETTINGS]\r\nJackServer=\r\n");
  EXPECT_TRUE(has(check().blockers, "no JACK server runs and JackServer is empty"));
  write("quillmere_radio.ini", "[SETTINGS]\r\nJackServer=quillmere-no-such-jackd -d dummy\r\n");
  EXPECT_TRUE(has(check().blockers, "\"quillmere-no-such-jackd\" is not installed"));
  write("quillmere_radio.ini", "[SETTINGS]\r\nJackServer=sh -d alsa -d hw:3 -r 48000\r\n");
  EXPECT_TRUE(has(check().blockers, "on hw:3, which is no sound card here; sound cards here: hw:0 (hw:PCH)"));
  write("quillmere_radio.ini", "[SETTINGS]\r\nJackServer=sh -d alsa -d hw:PCH -r 48000\r\n");
  report = check();
  EXPECT_TRUE(report.blockers.empty()) << report.blockers.front();
  EXPECT_TRUE(has(report.radio, "JackServer would start one: sh -d alsa -d hw:PCH"));
}

TEST_F(Check, TheProgramPrintsTheReportAndExitsNonZeroOnlyWhenOffTheAir) {
  write("quillmere_radio.ini", "[SETTINGS]\r\nPtt=gpio:/dev/gpiochip-quillmere:4\r\nTxDelay=slow\r\n");
  auto [out, status] = run("--check --home " + home().string() + " --machine-dir " + machine().string());
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("\"slow\" of TxDelay"), std::string::npos) << out;
  EXPECT_NE(out.find("cannot go on the air: Ptt \"gpio:/dev/gpiochip-quillmere:4\": cannot open"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Devices:\n"), std::string::npos) << out;
  EXPECT_NE(out.find("serial ports"), std::string::npos) << out;
  EXPECT_NE(out.find("The radio node could not go on the air."), std::string::npos) << out;

  // With a JACK server to start that exists here (the dummy backend needs no card), the node can go on the air.
  write("quillmere_radio.ini", "[SETTINGS]\r\nJackServer=sh -d dummy\r\n");
  std::tie(out, status) = run("--check --home " + home().string() + " --machine-dir " + machine().string());
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("The radio node can go on the air."), std::string::npos) << out;
}

TEST_F(Check, TheNewOptionsRunAloneAndReleasePttSaysWhatItDid) {
  EXPECT_EQ(run("--check --headless").second, 2);
  EXPECT_EQ(run("--release-ptt --check").second, 2);
  EXPECT_EQ(run("--release-ptt --scenario x.scn").second, 2);

  auto [out, status] = run("--release-ptt --home " + home().string());
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("Ptt=none: no line to release"), std::string::npos) << out;
  write("quillmere_radio.ini", "[SETTINGS]\r\nPtt=serial:/dev/ttyQUILLMERE9:DTR\r\n");
  std::tie(out, status) = run("--release-ptt --home " + home().string());
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("the PTT line was not released: \"serial:/dev/ttyQUILLMERE9:DTR\": cannot open"),
            std::string::npos)
      << out;
  write("quillmere_radio.ini", "[SETTINGS]\r\nPtt=serial:/dev/ttyS0:CTS\r\n");
  std::tie(out, status) = run("--release-ptt --home " + home().string());
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("the PTT line is not known, so it was not released"), std::string::npos) << out;
}

// The radio is a module of its own: a program that cannot load it never stands the simulated node in for the radio.
// The headless radio node, --release-ptt and --check each say which file failed and end with status 1.
TEST_F(Check, WithoutItsModuleTheRadioIsRefusedAloud) {
  if (fs::exists(fs::path(QUILLMERE_INSTALLED_MODULE_DIR) / "libquillmere_radio.so"))
    GTEST_SKIP() << "a radio module is installed in " << QUILLMERE_INSTALLED_MODULE_DIR;
  fs::create_directories(root_ / "bin");
  fs::copy_file(QUILLMERE_BINARY, root_ / "bin" / "quillmere");
  const std::string program = (root_ / "bin" / "quillmere").string();
  const std::string folders = " --home " + home().string() + " --machine-dir " + machine().string();
  for (const std::string& arguments :
       {" --headless --node radio --no-report --voice estimate" + folders + " </dev/null", " --release-ptt" + folders,
        " --check" + folders}) {
    FILE* pipe = ::popen((program + arguments + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[512];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, got);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << arguments << "\n" << out;
    EXPECT_NE(out.find("module could not be loaded (libquillmere_radio.so is in none of " + (root_ / "bin").string()),
              std::string::npos)
        << arguments << "\n"
        << out;
    EXPECT_EQ(out.find("on the air as"), std::string::npos) << out;
  }
}

// A real JACK server (the dummy backend, a name of its own): the inventory sees its ports and --check finds the
// configured ones. Bounded: the server must come up within ten seconds.
TEST_F(Check, ARunningJackServerIsSeenWithItsPorts) {
  if (::access("/usr/bin/jackd", X_OK) != 0) GTEST_SKIP() << "jackd is not installed (Debian's jackd2)";
  const std::string name = "quillmere-check-" + std::to_string(::getpid());
  ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  const pid_t server = ::fork();
  ASSERT_GE(server, 0);
  if (server == 0) {
    ::freopen("/dev/null", "w", stdout);
    ::freopen("/dev/null", "w", stderr);
    ::execl("/usr/bin/jackd", "jackd", "-n", name.c_str(), "--no-realtime", "-d", "dummy", "-r", "8000", "-p", "1024",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::optional<std::vector<std::string>> ports;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(ports = listJackPorts()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  if (ports) {
    EXPECT_NE(std::find(ports->begin(), ports->end(), "system:capture_1"), ports->end());
    EXPECT_NE(std::find(ports->begin(), ports->end(), "system:playback_1"), ports->end());
    write("quillmere_radio.ini",
          "[SETTINGS]\r\nJackServer=\r\nCapturePort=system:capture_1\r\n"
          "PlaybackPort=system:playback_9\r\n");
    auto [out, status] = run("--check --home " + home().string() + " --machine-dir " + machine().string());
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("JACK: a server runs"), std::string::npos) << out;
    EXPECT_NE(out.find("cannot go on the air: PlaybackPort \"system:playback_9\" is no port"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("CapturePort \"system:capture_1\""), std::string::npos) << out;
  }
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
  ASSERT_TRUE(ports) << "the JACK server did not come up within ten seconds";
}

}  // namespace
