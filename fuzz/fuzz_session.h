#pragma once
// A started program on the simulated node and Skype client, in virtual time, for the fuzz targets. Every input gets
// a fresh one (so a crash reproduces from its input alone); the settings folders are made once per process and are
// empty, so the program runs on its defaults and nothing a target does is written to disk.
#include <stdlib.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "history/form_history.h"
#include "platform/instance_lock.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"

namespace qm::fuzz {

inline const std::filesystem::path& scratchFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(scratchFolder(), ec);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

class FuzzSession {
 public:
  FuzzSession()
      : scheduler_(Scheduler::TimePoint{}),
        session_(
            scheduler_, Folders{scratchFolder(), scratchFolder()}, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this, &s] {
                scheduler_.halt();
                s.node.setDeaf(true);
                s.skype.setDeaf(true);
              });
            },
            std::make_unique<FixedInstanceLock>(false)) {
    session_.transcript.setKeeping(false);
    session_.skype.setAutoAnswer(std::nullopt);
    session_.start();
    // Every kind of history line is logged, so the log's capacity is exercised too.
    runUntilEnded([&] {
      FormHistory& h = session_.program().history();
      h.Check8.setValue(1);
      h.Check10.setValue(1);
      h.Check11.setValue(1);
      h.DTMF.setValue(1);
    });
    // Connected to Skype: the automatic connect after one second, the authorization one second later.
    run(std::chrono::milliseconds(2500));
  }

  Session& session() { return session_; }
  VirtualScheduler& scheduler() { return scheduler_; }
  bool ended() const { return scheduler_.halted(); }

  void run(std::chrono::milliseconds d) {
    runUntilEnded([&] { scheduler_.runFor(d); });
  }
  // Runs one node event (or any action), turning the program's end into a normal return.
  template <typename F>
  void act(F&& f) {
    if (!ended()) runUntilEnded(std::forward<F>(f));
  }

 private:
  VirtualScheduler scheduler_;
  Session session_;
};

// The input cut at each line feed: one event per piece.
inline std::vector<std::string> pieces(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> out;
  std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t pos = 0;
  while (true) {
    std::size_t nl = all.find('\n', pos);
    out.emplace_back(all.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  return out;
}

}  // namespace qm::fuzz
