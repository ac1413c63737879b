#pragma once
// A program run for GUI tests: the simulated node, the recording prompter and a virtual clock (time passes only when
// a test says so), empty folders of its own, and the desktop's window views attached before the load.
#include <QCoreApplication>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/frm_main.h"
#include "app/program.h"
#include "gui/window_view.h"
#include "platform/clock_format.h"
#include "platform/instance_lock.h"
#include "platform/virtual_scheduler.h"
#include "scenario/scenario_exit.h"
#include "session/session.h"

namespace qm::test {

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-gui-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
    std::filesystem::create_directories(path_ / "home");
    std::filesystem::create_directories(path_ / "machine");
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline Scheduler::TimePoint startOfTest() {
  Scheduler::TimePoint t;
  parseLocalDateTime("2026-01-01 00:00:00", t);
  return t;
}

class GuiSession {
 public:
  // `boxes`, when given, shows the message boxes (the desktop's); otherwise they are recorded and answered Yes.
  explicit GuiSession(Prompter* boxes = nullptr)
      : scheduler(startOfTest()),
        session(
            scheduler, Folders{scratch.path() / "home", scratch.path() / "machine"}, nullptr,
            [this](Session& s) -> std::unique_ptr<ProgramExit> {
              return std::make_unique<ScenarioExit>(s.transcript, [this, &s] {
                scheduler.halt();
                s.node.setDeaf(true);
              });
            },
            std::make_unique<FixedInstanceLock>(false), boxes) {
    exit_ = static_cast<ScenarioExit*>(session.exit.get());
    session.onProgramCreated = [this](Program& p) { views = std::make_unique<WindowViews>(p.registry()); };
    session.start();
    QCoreApplication::processEvents();
  }

  Program& program() { return session.program(); }
  frmMain& main() { return session.program().main(); }
  WindowView* view(const std::string& window) { return views->find(window); }
  bool ended() const { return exit_ && exit_->ended(); }

  ScratchDir scratch;
  VirtualScheduler scheduler;
  Session session;
  std::unique_ptr<WindowViews> views;

 private:
  ScenarioExit* exit_ = nullptr;
};

}  // namespace qm::test
