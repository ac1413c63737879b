#include "gui/desktop.h"

#include "launch/launch.h"
#include "launch/session_builder.h"
#include "radio_module/radio_launch.h"

#include <unistd.h>
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "app/program.h"
#include "gui/message_box_prompter.h"
#include "gui/node_simulator.h"
#include "gui/paint_before_speech.h"
#include "gui/problem_display.h"
#include "gui/radio_view.h"
#include "gui/screenshots.h"
#include "gui/window_memory.h"
#include "gui/window_placement.h"
#include "gui/window_view.h"
#include "options.h"
#include "platform/instance_lock.h"
#include "realtime/headless_console.h"
#include "realtime/qt_scheduler.h"
#include "realtime/real_exit.h"
#include "session/session.h"

namespace qm {

namespace {

// Screenshots start from empty folders of their own, so they show a first start and meet no running copy.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillmere-screenshots-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

QIcon applicationIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(24, 72, 140));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(2, 2, 60, 60, 12, 12);
  p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(22, 54, 32, 20);  // the mast
  p.drawLine(42, 54, 32, 20);
  p.setBrush(Qt::NoBrush);
  for (int r : {10, 18}) p.drawArc(QRect(32 - r, 20 - r, 2 * r, 2 * r), 30 * 16, 120 * 16);  // the waves
  return QIcon(pixmap);
}

Rect screenInTwips() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return Rect{0, 0, 28800, 16200};
  QRect g = screen->availableGeometry();
  return {toTwips(g.x()), toTwips(g.y()), toTwips(g.width()), toTwips(g.height())};
}

// The main window and the node simulator where the operator last put them, or side by side (see placeSideBySide).
void placeWindows(WindowView* main, NodeSimulator& simulator, const WindowMemory& memory) {
  QRect room = availableArea(main);
  QSize simulatorFrame = simulator.preferredSize() + frameAllowance(simulator);
  QSize minimum = simulator.comfortableMinimum() + frameAllowance(simulator);
  QSize mainFrame = main ? main->size() + frameAllowance(*main) : QSize();
  WindowPair pair = placeSideBySide(mainFrame, simulatorFrame, minimum, room);
  if (auto remembered = memory.recall(QStringLiteral("frmMain")))
    pair.main.moveTopLeft(keepInside(*remembered, room).topLeft());
  QRect sim = pair.simulator;
  if (auto remembered = memory.recall(QStringLiteral("NodeSimulator")))
    sim = keepInside(QRect(remembered->topLeft(), remembered->size().boundedTo(room.size())), room);
  if (main) {
    Window* model = main->model();
    QPoint at = pair.main.topLeft();
    runGuarded("move", [model, at] {
      Rect g = model->geometry();
      g.left = toTwips(at.x());
      g.top = toTwips(at.y());
      model->setGeometry(g);
    });
  }
  simulator.resize(sim.size() - frameAllowance(simulator));
  simulator.move(sim.topLeft());
}

}  // namespace

int runDesktop(const Options& o, std::ostream& transcript, int argc, char** argv, const SessionSetup& setup) {
  std::setlocale(LC_TIME, "");
  const bool screenshots = o.screenshots.has_value();
  if (screenshots && !displayAvailable()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quillmere"));
  QApplication::setQuitOnLastWindowClosed(false);  // the program ends only by its own rules
  QApplication::setWindowIcon(applicationIcon());

  std::optional<ScratchFolder> scratch;
  if (screenshots) scratch.emplace();
  auto folder = [&](const std::optional<std::string>& given, const char* sub, std::filesystem::path fallback) {
    if (given) return std::filesystem::path(*given);
    if (scratch && !scratch->path().empty()) return scratch->path() / sub;
    return fallback;
  };
  Folders folders{folder(o.home, "home", Folders::defaultHome()),
                  folder(o.machineDir, "machine", Folders::defaultMachine()),
                  folder(std::nullopt, "state", Folders::defaultState())};
  std::error_code ec;
  std::filesystem::create_directories(folders.home, ec);
  if (scratch) std::filesystem::create_directories(folders.machine, ec);
  std::unique_ptr<InstanceLock> lock;
  if (screenshots)
    lock = std::make_unique<FixedInstanceLock>(false);
  else
    lock = std::make_unique<FileInstanceLock>(FileInstanceLock::defaultPath(folders.home));

  QtScheduler scheduler;
  std::shared_ptr<void> equipment;  // outlives the session that uses it
  MessageBoxPrompter boxes;
  // Screenshots never wait for an answer: their boxes go to the transcript only.
  const auto owned = buildSession(o, scheduler, folders, transcript, std::move(lock), screenshots ? nullptr : &boxes);
  Session& session = *owned;
  boxes.setLog(&session.transcript);
  if (setup) equipment = setup(session, scheduler);
  session.backends.screen = screenInTwips();
  std::unique_ptr<WindowViews> views;
  session.onProgramCreated = [&views](Program& program) { views = std::make_unique<WindowViews>(program.registry()); };

  NodeSimulator simulator(session);
  std::unique_ptr<HeadlessConsole> console;
  // Scenario actions typed at the terminal work too, unless the program runs in the terminal's background, where
  // reading would stop it.
  if (!screenshots && (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) == getpgrp())) {
    console = std::make_unique<HeadlessConsole>(session);
    console->begin();
  }
  paintBeforeSpeech(session);
  // Problems the operator must hear of go where the operator looks: the node simulator, and the radio node's live
  // view when it takes the simulator's place.
  std::unique_ptr<RadioView> radioView;
  showProblemsIn(&simulator, [&simulator, &radioView](const QString& problem) {
    simulator.showProblem(problem);
    if (radioView) radioView->showProblem(problem);
  });
  WindowMemory memory(screenshots || folders.state.empty()
                          ? QString()
                          : QString::fromStdString((folders.state / "quillmere_desktop.ini").string()));
  session.start();
  simulator.refresh();
  WindowView* mainView = views ? views->find("frmMain") : nullptr;
  placeWindows(mainView, simulator, memory);
  if (mainView) offerNodeSimulator(*mainView, simulator);
  if (mainView) memory.watch(*mainView, QStringLiteral("frmMain"));
  memory.watch(simulator, QStringLiteral("NodeSimulator"));
  simulator.show();
  // The radio node is watched, not played: its live view takes the simulator's place (which Ctrl+N still brings
  // back; its inputs then act as if the radio had raised them).
  if (radio::RadioNode* radio = radioNodeOf(session)) {
    radioView = std::make_unique<RadioView>(*radio);
    Registry& registry = session.program().registry();
    radioView->offerWindows(
        [&registry](const std::string& name) {
          const auto names = registry.windowNames();
          return std::find(names.begin(), names.end(), name) != names.end();
        },
        [&registry](const std::string& name) {
          runGuarded("show", [&] {
            if (Window* w = registry.open(name)) w->Show();
          });
        });
    radioView->move(simulator.pos());
    radioView->show();
    simulator.hide();
  }

  int status = 0;
  if (screenshots) {
    // Every window of the program, shown as after its start, once the clock has ticked.
    Registry& registry = session.program().registry();
    for (const std::string& name : registry.windowNames()) {
      runGuarded("show", [&] {
        if (Window* w = registry.open(name)) w->Show();
      });
    }
    QTimer::singleShot(1500, &app, [&] {
      std::vector<std::pair<QString, QWidget*>> shots;
      for (const std::string& name : registry.windowNames())
        if (WindowView* v = views ? views->find(name) : nullptr) shots.emplace_back(QString::fromStdString(name), v);
      shots.emplace_back(QStringLiteral("NodeSimulator"), &simulator);
      if (radioView) shots.emplace_back(QStringLiteral("RadioView"), radioView.get());
      QStringList failed = saveScreenshots(QString::fromStdString(*o.screenshots), shots);
      for (const QString& f : failed) std::cerr << "quillmere: cannot write " << f.toStdString() << "\n";
      if (!failed.isEmpty()) status = 1;
      QApplication::exit(0);
    });
  }
  int code = app.exec();
  stopShowingProblems();
  memory.flush();
  return status ? status : code;
}

}  // namespace qm
