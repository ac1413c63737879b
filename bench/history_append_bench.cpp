// How the history log's cost grows with its length: 250,000, 500,000 and 1,000,000 lines appended, through the
// window's DTMF handler (time stamp, line, capacity) and straight into a text box without any capacity. Constant-time
// appends show as a flat cost per line and a doubling of the total with each doubling of the lines. The handler is
// also timed with the history log file kept in a state folder (each line written and flushed, the file rotated).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "history/form_history.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"

namespace {

using Seconds = std::chrono::duration<double>;

std::filesystem::path makeFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  return pattern;
}

double historyHandler(int lines, bool toFile = false) {
  auto folder = makeFolder();
  double seconds = 0;
  {
    qm::VirtualScheduler scheduler(qm::Scheduler::TimePoint{});
    qm::Session session(
        scheduler, qm::Folders{folder, folder, toFile ? folder / "state" : std::filesystem::path()}, nullptr,
        [](qm::Session& s) -> std::unique_ptr<qm::ProgramExit> {
          return std::make_unique<qm::ScenarioExit>(s.transcript, [] {});
        },
        std::make_unique<qm::FixedInstanceLock>(false));
    session.start();
    qm::FormHistory& history = session.program().history();
    history.DTMF.setValue(1);
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < lines; ++i) {
      history.EchoLink_DTMFString("*#" + std::to_string(i));
      if (i % 1000 == 0) scheduler.runFor(std::chrono::seconds(1));  // the clock moves on now and then
    }
    seconds = Seconds(std::chrono::steady_clock::now() - begin).count();
  }
  std::filesystem::remove_all(folder);
  return seconds;
}

class BenchWindow : public qm::Window {
 public:
  explicit BenchWindow(qm::Registry& r) : qm::Window(r, "Bench", "") {}
  void closeRequest() override {}
};

double rawTextBox(int lines, std::size_t& bytes) {
  qm::Registry registry;
  BenchWindow window(registry);
  qm::TextBox box(window, "Log");
  int changes = 0;
  box.Change = [&] { ++changes; };
  const std::string line = "W1AW-R Connected - 01/01/26 at 00:00:03 -- 192.168.1.20\r\n";
  auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < lines; ++i) box.appendText(line);
  double seconds = Seconds(std::chrono::steady_clock::now() - begin).count();
  bytes = box.Text().size();
  return changes == lines ? seconds : -1;
}

}  // namespace

int main() {
  const int sizes[] = {250000, 500000, 1000000};
  std::fprintf(stderr, "%-38s %10s %12s %12s\n", "appending", "lines", "seconds", "ns per line");
  double perLine[3] = {};
  for (int i = 0; i < 3; ++i) {
    double s = historyHandler(sizes[i]);
    perLine[i] = s * 1e9 / sizes[i];
    std::fprintf(stderr, "%-38s %10d %12.3f %12.1f\n", "FormHistory DTMF handler (capped log)", sizes[i], s,
                 perLine[i]);
  }
  double filePerLine[3] = {};
  for (int i : {0, 2}) {
    double s = historyHandler(sizes[i], true);
    filePerLine[i] = s * 1e9 / sizes[i];
    std::fprintf(stderr, "%-38s %10d %12.3f %12.1f\n", "the same, and into the log file", sizes[i], s, filePerLine[i]);
  }
  for (int n : sizes) {
    std::size_t bytes = 0;
    double s = rawTextBox(n, bytes);
    std::fprintf(stderr, "%-38s %10d %12.3f %12.1f   (%zu MB of text)\n", "TextBox::appendText (no capacity)", n, s,
                 s * 1e9 / n, bytes >> 20);
  }
  // Constant time: the cost of a line at a million lines is that of a line at a quarter of a million, give or take.
  double growth = perLine[2] / perLine[0];
  std::printf(
      "figure\thistory log append, ns per line at 1,000,000 lines / at 250,000\t%.0f / %.0f ns\t"
      "flat (ratio <= 1.5)\t%s\n",
      perLine[2], perLine[0], growth <= 1.5 ? "met" : "OVER BUDGET");
  double fileGrowth = filePerLine[2] / filePerLine[0];
  std::printf(
      "figure\thistory log append with the log file, ns per line at 1,000,000 lines / at 250,000\t%.0f / %.0f ns\t"
      "flat (ratio <= 1.5)\t%s\n",
      filePerLine[2], filePerLine[0], fileGrowth <= 1.5 ? "met" : "OVER BUDGET");
  return 0;
}
