// How fast the PTY lines pass a change on: key() to the byte read by a program on the far side of the PTT
// pseudo-terminal, and a letter written on the squelch pseudo-terminal to carrier() reporting it after the line's
// descriptor woke a poll. 2,000 changes each, real time; the median, the 99th percentile and the worst.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "radio/lines.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChanges = 2000;

struct Spread {
  double median, p99, worst;  // microseconds
};

Spread spread(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[us.size() * 99 / 100], us.back()};
}

qm::radio::LineSpec pty(const std::filesystem::path& path) {
  return {"pty", path.string(), "", false, "pty:" + path.string()};
}

Spread pttLatency(const std::filesystem::path& folder) {
  std::string error;
  auto line = qm::radio::openPttLine(pty(folder / "ptt"), error);
  if (!line) throw std::runtime_error(error);
  const int far = ::open((folder / "ptt").c_str(), O_RDWR | O_NOCTTY);
  std::vector<double> us;
  for (int i = 0; i < kChanges; ++i) {
    const auto before = Clock::now();
    line->key(i % 2 == 0, error);
    pollfd p{far, POLLIN, 0};
    ::poll(&p, 1, 1000);
    char c;
    if (::read(far, &c, 1) != 1) throw std::runtime_error("the PTT pseudo-terminal gave nothing");
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
  }
  line->key(false, error);
  std::thread drain([far] {
    char c;
    pollfd p{far, POLLIN, 0};
    if (::poll(&p, 1, 500) == 1) (void)!::read(far, &c, 1);
  });
  line.reset();
  drain.join();
  ::close(far);
  return spread(us);
}

Spread squelchLatency(const std::filesystem::path& folder) {
  std::string error;
  auto line = qm::radio::openSquelchLine(pty(folder / "squelch"), error);
  if (!line) throw std::runtime_error(error);
  const int far = ::open((folder / "squelch").c_str(), O_RDWR | O_NOCTTY);
  std::vector<double> us;
  for (int i = 0; i < kChanges; ++i) {
    const bool carrier = i % 2 == 0;
    const auto before = Clock::now();
    (void)!::write(far, carrier ? "O" : "Z", 1);
    pollfd p{line->fd(), POLLIN, 0};
    ::poll(&p, 1, 1000);
    if (line->carrier(error) != carrier) throw std::runtime_error("the squelch line missed a change");
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - before).count());
  }
  ::close(far);
  return spread(us);
}

}  // namespace

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-lines-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  const std::filesystem::path folder = pattern;
  const Spread ptt = pttLatency(folder), squelch = squelchLatency(folder);
  std::filesystem::remove_all(folder);
  // The budget is the node's, SetPTT to the line within 5 ms; the line's own part is held to it at the 99th percentile.
  std::printf(
      "figure\tPTY PTT: key() to the far side's read, median / p99 / worst\t%.0f / %.0f / %.0f us\tp99 <= 5 ms\t%s\n",
      ptt.median, ptt.p99, ptt.worst, ptt.p99 <= 5000 ? "met" : "OVER BUDGET");
  std::printf("figure\tPTY squelch: far side's write to carrier(), median / p99 / worst\t%.0f / %.0f / %.0f us\t-\n",
              squelch.median, squelch.p99, squelch.worst);
  return 0;
}
