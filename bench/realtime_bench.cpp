// The headless program measured from outside, in real time, as an operator runs it:
//   start-up    from exec to the first transcript line (the load keys the transmitter to announce that DTMF control
//               is on) and to the main window shown (the usage report left out with --no-report): the console reads
//               its first line only once the load has returned, so the time to that line's echo in the transcript
//               is the time to the window; several runs, the median;
//   DTMF to PTT from writing a DTMF line ("#0#" and "#1#" in turn, each announced with DTMF control on) to the
//               transcript's "ptt on", with the estimate voice so that no speech synthesis comes before the keying;
//   idle CPU    user + system time of the program idling on its own (standard input at its end) over a window of
//               seconds after start-up, as a fraction of one core, beside the same figure for qt_timer_floor running
//               the program's set of timers: the floor that any Qt program with those timers pays;
//   memory      resident set (VmRSS) of the idle program after start-up and at the end of the idle window.
// Results go to standard output as "figure<TAB>what<TAB>value<TAB>budget<TAB>verdict" lines; details to standard
// error.
//
//   realtime_bench QUILLMERE QT_TIMER_FLOOR "TIMER INTERVALS" [IDLE_SECONDS]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

std::filesystem::path tempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

// A child process: its standard input a pipe (or /dev/null), its standard output a pipe read line by line.
class Child {
 public:
  Child(const std::vector<std::string>& argv, bool inputPipe, bool readOutput) {
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (inputPipe && pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (readOutput && pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      int null = open("/dev/null", O_RDWR);
      dup2(inputPipe ? in[0] : null, STDIN_FILENO);
      dup2(readOutput ? out[1] : null, STDOUT_FILENO);
      // Each run keeps its single-instance lock in its own folder, so runs of other programs do not meet it.
      unsetenv("XDG_RUNTIME_DIR");
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
    if (inputPipe) {
      close(in[0]);
      input_ = in[1];
    }
    if (readOutput) {
      close(out[1]);
      output_ = out[0];
    }
  }
  ~Child() {
    if (input_ >= 0) close(input_);
    if (output_ >= 0) close(output_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  void write(const std::string& line) {
    std::string text = line + "\n";
    if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      throw std::runtime_error("cannot write to the program");
  }

  // The next transcript line, or nothing when none came within `limit`.
  std::optional<std::string> readLine(std::chrono::milliseconds limit) {
    auto deadline = Clock::now() + limit;
    while (true) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      pollfd p{output_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      ssize_t n = ::read(output_, buf, sizeof buf);
      if (n <= 0) return std::nullopt;
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }

  // Reads lines until one contains `text`; that line, or nothing on time-out or end of output.
  std::optional<std::string> waitFor(const std::string& text, std::chrono::milliseconds limit) {
    auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      auto line = readLine(left);
      if (!line) return std::nullopt;
      if (line->find(text) != std::string::npos) return line;
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1, output_ = -1;
  std::string buffer_;
};

// User + system CPU of a process so far, in seconds.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto close = stat.rfind(')');
  if (close == std::string::npos) throw std::runtime_error("cannot read /proc/PID/stat");
  std::istringstream fields(stat.substr(close + 2));
  std::string f;
  // Fields from the state (3rd) on: utime is the 14th field, stime the 15th.
  for (int i = 3; i < 14; ++i) fields >> f;
  long long utime = 0, stime = 0;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// CPU of all a process's threads so far, in seconds, from the scheduler's nanosecond count
// (/proc/PID/task/*/schedstat): finer than the clock ticks of /proc/PID/stat, which at 100 a second leave a minute's
// idle figure rough.
double preciseCpuSeconds(pid_t pid) {
  double total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::ifstream in(task.path() / "schedstat");
    unsigned long long ns = 0;
    in >> ns;
    total += static_cast<double>(ns) / 1e9;
  }
  return total;
}

// Resident memory of a process, in MiB.
double residentMiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  throw std::runtime_error("cannot read VmRSS");
}

// Milliseconds since midnight of a transcript stamp "HH:MM:SS.mmm".
double stampMs(const std::string& line) {
  int h = 0, m = 0, s = 0, ms = 0;
  if (std::sscanf(line.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) return 0;
  return ((h * 60 + m) * 60 + s) * 1000.0 + ms;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void figure(const std::string& what, const std::string& value, const std::string& budget, bool ok) {
  std::printf("figure\t%s\t%s\t%s\t%s\n", what.c_str(), value.c_str(), budget.c_str(), ok ? "met" : "OVER BUDGET");
  std::fflush(stdout);
}

std::string fixed(double v, int decimals, const std::string& unit) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f%s", decimals, v, unit.c_str());
  return buf;
}

std::vector<std::string> programArgs(const std::string& program, const std::filesystem::path& folder,
                                     std::vector<std::string> extra) {
  std::vector<std::string> args = {program,         "--headless",    "--no-report",  "--home",
                                   folder.string(), "--machine-dir", folder.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

constexpr const char* kMarker = "answer no";  // a harmless console line: it only presets the next box's answer

void startup(const std::string& program) {
  const int runs = 11;
  std::vector<double> firstLine, shown;
  for (int i = 0; i < runs; ++i) {
    auto folder = tempFolder();
    {
      auto begin = Clock::now();
      Child child(programArgs(program, folder, {}), true, true);
      child.write(kMarker);
      if (!child.readLine(std::chrono::seconds(20))) throw std::runtime_error("the program did not start");
      firstLine.push_back(Ms(Clock::now() - begin).count());
      if (!child.waitFor(std::string("> ") + kMarker, std::chrono::seconds(20)))
        throw std::runtime_error("the program did not start");
      shown.push_back(Ms(Clock::now() - begin).count());
    }
    std::filesystem::remove_all(folder);
  }
  std::fprintf(stderr, "start-up: %d runs; first transcript line median %.1f ms; main window shown median %.1f ms\n",
               runs, median(firstLine), median(shown));
  figure("start-up to the first transcript line (the load under way), median of " + std::to_string(runs),
         fixed(median(firstLine), 1, " ms"), "< 500 ms", median(firstLine) < 500);
  figure(
      "start-up to main window shown, median of " + std::to_string(runs) + " (the load speaks \"DTMF Enabled\" first)",
      fixed(median(shown), 1, " ms"), "(speech included)", true);
}

void dtmfLatency(const std::string& program) {
  auto folder = tempFolder();
  std::vector<double> wall, stamped;
  {
    Child child(programArgs(program, folder, {"--voice", "estimate"}), true, true);
    child.write(kMarker);
    if (!child.waitFor(kMarker, std::chrono::seconds(20))) throw std::runtime_error("the program did not start");
    const int events = 20;
    for (int i = 0; i < events; ++i) {
      std::string digits = i % 2 == 0 ? "#0#" : "#1#";  // control goes off, then on again: each is announced
      auto begin = Clock::now();
      child.write("dtmf \"" + digits + "\"");
      auto echo = child.waitFor("> dtmf", std::chrono::seconds(10));
      auto keyed = child.waitFor("ptt on", std::chrono::seconds(10));
      if (!echo || !keyed) throw std::runtime_error("no ptt on after a DTMF string");
      wall.push_back(Ms(Clock::now() - begin).count());
      stamped.push_back(stampMs(*keyed) - stampMs(*echo));
      if (!child.waitFor("ptt off", std::chrono::seconds(10))) throw std::runtime_error("no ptt off");
    }
  }
  std::filesystem::remove_all(folder);
  auto worst = *std::max_element(wall.begin(), wall.end());
  std::fprintf(stderr, "DTMF to PTT: %zu events, median %.2f ms, slowest %.2f ms; transcript stamps median %.0f ms\n",
               wall.size(), median(wall), worst, median(stamped));
  figure("DTMF line to \"ptt on\", median / slowest of " + std::to_string(wall.size()) + " (--voice estimate)",
         fixed(median(wall), 2, "") + " / " + fixed(worst, 2, " ms"), "< 5 ms", median(wall) < 5);
}

void idle(const std::string& program, const std::string& floorProgram, const std::string& intervals, int seconds) {
  auto folder = tempFolder();
  std::vector<std::string> floorArgs = {floorProgram};
  std::istringstream words(intervals);
  for (std::string w; words >> w;) floorArgs.push_back(w);
  {
    Child ours(programArgs(program, folder, {}), false, false);
    Child floor(floorArgs, false, false);
    std::this_thread::sleep_for(std::chrono::seconds(5));  // start-up done, Skype attached
    double rssStart = residentMiB(ours.pid());
    double oursBefore = cpuSeconds(ours.pid()), floorBefore = cpuSeconds(floor.pid());
    double oursPreciseBefore = preciseCpuSeconds(ours.pid()), floorPreciseBefore = preciseCpuSeconds(floor.pid());
    auto begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    double oursShare = (cpuSeconds(ours.pid()) - oursBefore) / elapsed;
    double floorShare = (cpuSeconds(floor.pid()) - floorBefore) / elapsed;
    double oursPrecise = (preciseCpuSeconds(ours.pid()) - oursPreciseBefore) / elapsed;
    double floorPrecise = (preciseCpuSeconds(floor.pid()) - floorPreciseBefore) / elapsed;
    double rssEnd = residentMiB(ours.pid());
    std::fprintf(stderr,
                 "idle over %.1f s: ours %.3f%% of a core (schedstat %.3f%%), floor (timers %s) %.3f%% (schedstat "
                 "%.3f%%); RSS %.1f -> %.1f MiB\n",
                 elapsed, oursShare * 100, oursPrecise * 100, intervals.c_str(), floorShare * 100, floorPrecise * 100,
                 rssStart, rssEnd);
    double ratio = floorPrecise > 0 ? oursPrecise / floorPrecise : 0;
    auto share = [](double stat, double precise) {
      return fixed(stat * 100, 2, " % of a core (") + fixed(precise * 100, 3, " % by schedstat)");
    };
    figure("idle CPU, headless, over " + std::to_string(seconds) + " s (utime+stime)", share(oursShare, oursPrecise),
           "< 1 %", std::max(oursShare, oursPrecise) < 0.01);
    figure("idle CPU, bare Qt program with the same timers (" + intervals + " ms)", share(floorShare, floorPrecise),
           "(the floor)", true);
    figure("idle CPU, headless / floor (schedstat)", fixed(ratio, 2, " x"), "<= 1.5 x", ratio <= 1.5);
    figure("resident memory, headless, after start-up", fixed(rssStart, 1, " MiB"), "< 20 MB",
           rssStart * 1.048576 < 20);
    figure("resident memory, headless, after " + std::to_string(seconds) + " s idle", fixed(rssEnd, 1, " MiB"),
           "< 20 MB", rssEnd * 1.048576 < 20);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: realtime_bench QUILLMERE QT_TIMER_FLOOR \"TIMER INTERVALS\" [IDLE_SECONDS]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const std::string program = std::filesystem::absolute(argv[1]).string();
  const std::string floorProgram = std::filesystem::absolute(argv[2]).string();
  const int seconds = argc > 4 ? std::atoi(argv[4]) : 60;
  try {
    startup(program);
    dtmfLatency(program);
    idle(program, floorProgram, argv[3], seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "realtime_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
