// The desktop on a small screen at a scale of 2 (1024 x 768 pixels, 512 x 384 to the windows): every window stays
// on the screen, shows what fits and scrolls to the rest, and a position off the screen is brought back onto it.
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryFile>
#include <QTest>

#include "directory/buddy.h"
#include "gui/node_simulator.h"
#include "gui/window_placement.h"
#include "gui_session.h"

using namespace qm;
using qm::test::GuiSession;

namespace {

bool onScreen(QWidget* w) {
  QRect frame(w->pos(), w->size() + frameAllowance(*w));
  return availableArea(w).contains(frame);
}

}  // namespace

class SmallScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void theScreenIsSmallAndScaled() {
    QCOMPARE(availableArea().size(), QSize(512, 384));
    QCOMPARE(qApp->primaryScreen()->devicePixelRatio(), 2.0);
  }

  void theMainWindowStaysOnTheScreenAndScrollsToTheRest() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    QVERIFY(onScreen(view));
    QVERIFY(view->width() < view->clientSize().width() || view->height() < view->clientSize().height());
    // The Exit button, at the design area's bottom right, is reached by the keyboard and scrolled into view.
    QWidget* exit = view->widgetFor("cmdExit");
    exit->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    QRect shown(QPoint(0, 0), view->viewport()->viewport()->size());
    QVERIFY(shown.contains(exit->mapTo(view->viewport()->viewport(), exit->rect().bottomRight())));
    // A position beyond the screen's edge (remembered from a larger screen) is brought back onto it.
    Rect far = g.main().geometry();
    far.left = 28000;
    far.top = 15000;
    g.main().setGeometry(far);
    QVERIFY(onScreen(view));
  }

  void theBuddyWindowFitsTheScreen() {
    GuiSession g;
    g.program().buddy().Show();
    QCoreApplication::processEvents();
    QVERIFY(onScreen(g.view("Buddy")));
  }

  void theNodeSimulatorIsPlacedOnTheScreenAndScrolls() {
    GuiSession g;
    NodeSimulator sim(g.session);
    QSize allowance = frameAllowance(sim);
    WindowPair p = placeSideBySide(g.view("frmMain")->size() + allowance, sim.preferredSize() + allowance,
                                   sim.comfortableMinimum() + allowance, availableArea());
    QVERIFY(availableArea().contains(p.simulator));
    sim.resize(p.simulator.size() - allowance);
    sim.move(p.simulator.topLeft());
    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sim));
    QVERIFY(onScreen(&sim));
    auto* scroll = sim.findChild<QScrollArea*>(QStringLiteral("scroll"));
    QVERIFY(scroll->verticalScrollBar()->maximum() > 0);
  }
};

int main(int argc, char** argv) {
  // A 1024 x 768 offscreen screen at a scale of 2, set up before the application starts.
  QTemporaryFile config;
  if (!config.open()) return 1;
  config.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1024, "height": 768,
                                 "logicalDpi": 96, "logicalBaseDpi": 96}]})");
  config.flush();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  SmallScreenTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "desktop_small_screen_test.moc"
