// The desktop as an operator meets it: time-out boxes that take digits only, the on-air indicators painted before
// speech holds the thread, where the windows open on screens of several sizes and scales, the keyboard path through
// the main window, the SIP settings button, the buddy window's call buttons, the time-out label and problems shown
// where the operator looks.
#include <QtTest/qtestspontaneevent.h>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMoveEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "directory/buddy.h"
#include "gui/node_simulator.h"
#include "gui/paint_before_speech.h"
#include "gui/problem_display.h"
#include "gui/window_memory.h"
#include "gui/window_placement.h"
#include "gui_session.h"
#include "history/form_history.h"
#include "launch/launch.h"
#include "speech/voice.h"

using namespace qm;
using qm::test::GuiSession;

namespace {

template <typename W>
W* widget(GuiSession& g, const char* window, const char* name) {
  WindowView* view = g.view(window);
  auto* w = view ? qobject_cast<W*>(view->widgetFor(name)) : nullptr;
  if (!w) qFatal("no widget for %s.%s", window, name);
  return w;
}

// Remembers the text a widget showed when it was last painted.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* w) { w->installEventFilter(this); }
  QString painted;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      if (auto* edit = qobject_cast<QLineEdit*>(o)) painted = edit->text();
      if (auto* label = qobject_cast<QLabel*>(o)) painted = label->text();
    }
    return false;
  }
};

// A voice that notes what the windows last painted when an utterance begins.
class ProbeVoice : public Voice {
 public:
  std::function<void()> onSpeak;
  void setRate(int) override {}
  void speak(const std::string&) override {
    if (onSpeak) onSpeak();
  }
};

class EmptyWindow : public Window {
 public:
  EmptyWindow(Registry& r, const char* name) : Window(r, name, name) {}
  void closeRequest() override {}
};

QStringList tabStops(QWidget* from, QWidget* until) {
  QStringList names;
  QWidget* w = from;
  for (int guard = 0; guard < 500; ++guard) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(w->window()) && w->isEnabled()) names << w->objectName();
    if (w == until) break;
    w = w->nextInFocusChain();
  }
  return names;
}

}  // namespace

class DesktopOperatorTest : public QObject {
  Q_OBJECT

 private slots:
  void theTimeOutBoxesTakeDigitsOnly() {
    GuiSession g;
    auto* mins = widget<QLineEdit>(g, "frmMain", "Mins");
    mins->setFocus();
    // A letter typed over the whole text is refused by the box: the time-out stays, it does not become 0.
    mins->selectAll();
    QTest::keyClicks(mins, QStringLiteral("a"));
    QCOMPARE(g.main().Mins.Text(), std::string("4"));
    QCOMPARE(mins->text(), QStringLiteral("4"));
    mins->selectAll();
    QTest::keyClicks(mins, QStringLiteral("1a2b"));
    QCOMPARE(mins->text(), QStringLiteral("12"));
    QCOMPARE(g.main().Mins.Text(), std::string("12"));
    QCOMPARE(g.main().Counter.Caption(), std::string("720"));
    // A paste holding anything but digits changes nothing; one of digits goes in.
    QApplication::clipboard()->setText(QStringLiteral("3 minutes"));
    mins->selectAll();
    mins->paste();
    QCOMPARE(mins->text(), QStringLiteral("12"));
    QCOMPARE(g.main().Mins.Text(), std::string("12"));
    QApplication::clipboard()->setText(QStringLiteral("30"));
    mins->end(false);
    mins->paste();
    QCOMPARE(g.main().Mins.Text(), std::string("1230"));

    auto* seconds = widget<QLineEdit>(g, "frmMain", "TimeOutTimeSeconds");
    seconds->selectAll();
    QTest::keyClicks(seconds, QStringLiteral("x9"));
    QCOMPARE(g.main().TimeOutTimeSeconds.Text(), std::string("9"));
  }

  void theOnAirIndicatorsArePaintedBeforeSpeechHoldsTheThread() {
    GuiSession g;
    NodeSimulator sim(g.session);
    sim.resize(sim.preferredSize());
    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sim));
    paintBeforeSpeech(g.session);
    PaintWatch mainPtt(widget<QLineEdit>(g, "frmMain", "PTT"));
    PaintWatch simPtt(sim.findChild<QLabel*>(QStringLiteral("ptt")));
    QVERIFY(QTest::qWaitForWindowExposed(g.view("frmMain")));
    // Painted as they stand (the event loop would do it a little later).
    widget<QLineEdit>(g, "frmMain", "PTT")->repaint();
    sim.findChild<QLabel*>(QStringLiteral("ptt"))->repaint();
    QCOMPARE(mainPtt.painted, QStringLiteral("PTT OFF"));
    QCOMPARE(simPtt.painted, QStringLiteral("Receiving (PTT off)"));
    ProbeVoice probe;
    QString mainSeen, simSeen;
    probe.onSpeak = [&] {
      mainSeen = mainPtt.painted;
      simSeen = simPtt.painted;
    };
    g.session.useVoice(probe);
    g.session.node.dtmf("#0#");  // announced with the transmitter keyed
    QCOMPARE(mainSeen, QStringLiteral("PTT ON"));
    QCOMPARE(simSeen, QStringLiteral("TRANSMITTING (PTT on)"));
  }

  void theWindowsOpenSideBySideOrStackedWithinEveryScreen() {
    GuiSession g;
    NodeSimulator sim(g.session);
    const QSize allowance(10, 36);
    QSize mainFrame = g.view("frmMain")->size() + allowance;
    QSize simFrame = sim.preferredSize() + allowance, simMin = sim.comfortableMinimum() + allowance;
    struct Screen {
      int width, height;
      double scale;
    };
    for (Screen s : {Screen{1920, 1080, 1}, Screen{1920, 1080, 2}, Screen{1024, 768, 1}, Screen{1366, 768, 1},
                     Screen{1280, 1024, 1.25}, Screen{2560, 1440, 1.5}, Screen{800, 600, 1}, Screen{1024, 768, 2}}) {
      // Logical pixels, less a 32-pixel panel at the top.
      QRect room(0, 32, int(s.width / s.scale), int(s.height / s.scale) - 32);
      WindowPair p = placeSideBySide(mainFrame, simFrame, simMin, room);
      QByteArray where = QStringLiteral("%1x%2 at %3: main %4,%5 %6x%7, simulator %8,%9 %10x%11")
                             .arg(s.width)
                             .arg(s.height)
                             .arg(s.scale)
                             .arg(p.main.x())
                             .arg(p.main.y())
                             .arg(p.main.width())
                             .arg(p.main.height())
                             .arg(p.simulator.x())
                             .arg(p.simulator.y())
                             .arg(p.simulator.width())
                             .arg(p.simulator.height())
                             .toUtf8();
      QCOMPARE(p.main.size(), mainFrame);
      QVERIFY2(room.contains(p.simulator), where);
      if (mainFrame.width() <= room.width() && mainFrame.height() <= room.height())
        QVERIFY2(room.contains(p.main), where);
      bool besideFits = mainFrame.width() + 8 + simMin.width() <= room.width() && simMin.height() <= room.height();
      bool belowFits = mainFrame.height() + 8 + simMin.height() <= room.height();
      if (besideFits || belowFits) {
        QVERIFY2(!p.main.intersects(p.simulator), where);
        QVERIFY2(p.simulator.width() >= simMin.width() && p.simulator.height() >= simMin.height(), where);
      }
      if (mainFrame.width() + 8 + simFrame.width() <= room.width() && simFrame.height() <= room.height()) {
        QCOMPARE(p.simulator.size(), simFrame);  // room enough: nothing is squeezed
        QCOMPARE(p.simulator.top(), p.main.top());
      }
    }
    // A remembered place on a screen that has since shrunk is moved back onto it.
    QCOMPARE(keepInside(QRect(1800, 900, 400, 300), QRect(0, 0, 1024, 768)), QRect(624, 468, 400, 300));
    QCOMPARE(keepInside(QRect(-50, -20, 400, 300), QRect(0, 24, 1024, 744)), QRect(0, 24, 400, 300));
    QCOMPARE(keepInside(QRect(100, 100, 2000, 300), QRect(0, 0, 1024, 768)).topLeft(), QPoint(0, 100));
  }

  void whereTheOperatorPutAWindowIsRememberedForTheNextStart() {
    QTemporaryDir dir;
    QRect shownAt;
    QString file = dir.filePath(QStringLiteral("quillmere_desktop.ini"));
    {
      WindowMemory memory(file);
      QVERIFY(!memory.recall(QStringLiteral("frmMain")));
      QWidget window;
      memory.watch(window, QStringLiteral("frmMain"));
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      QMoveEvent moved(QPoint(40, 50), window.pos());
      QSpontaneKeyEvent::setSpontaneous(&moved);
      qApp->notify(&window, &moved);  // as the window manager tells of the operator's move
      shownAt = window.frameGeometry();
      memory.remember(QStringLiteral("NodeSimulator"), QRect(700, 20, 500, 600));
      memory.flush();
    }
    WindowMemory next(file);
    QCOMPARE(next.recall(QStringLiteral("frmMain")), std::optional<QRect>(shownAt));
    QCOMPARE(*next.recall(QStringLiteral("NodeSimulator")), QRect(700, 20, 500, 600));
    QVERIFY(!WindowMemory(QString()).recall(QStringLiteral("NodeSimulator")));  // no state folder: nothing kept
  }

  void aClosedNodeSimulatorComesBackWithCtrlN() {
    GuiSession g;
    NodeSimulator sim(g.session);
    WindowView* main = g.view("frmMain");
    offerNodeSimulator(*main, sim);
    sim.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sim));
    sim.close();  // the close box hides it; the program and the simulated node go on
    QVERIFY(!sim.isVisible());
    QVERIFY(!g.ended());
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    QTest::keyClick(main, Qt::Key_N, Qt::ControlModifier);
    QVERIFY(sim.isVisible());
    sim.close();
    auto* entry = main->findChild<QAction*>(QStringLiteral("showNodeSimulator"));
    QVERIFY(entry && main->actions().contains(entry));
    QCOMPARE(main->contextMenuPolicy(), Qt::ActionsContextMenu);
    entry->trigger();
    QVERIFY(sim.isVisible());
  }

  void theKeyboardPathFollowsTheLayoutAndPassesTheShowingBoxes() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    QWidget* mins = view->widgetFor("Mins");
    QCOMPARE(QApplication::focusWidget(), mins);
    QStringList expected = {"Mins",     "TimeOutTimeSeconds", "Check2",     "Enable_DTMF", "Disable_DTMF", "Check1",
                            "ConDisc",  "Command16",          "VoiceSpeed", "Command17",   "Command2",     "Command19",
                            "Command6", "Command8",           "Command5",   "Command7",    "cmdExit"};
    QCOMPARE(tabStops(mins, view->widgetFor("cmdExit")), expected);

    // The data panel is read-only to the operator, and Tab leaves it for the next control.
    auto* data = widget<QPlainTextEdit>(g, "frmMain", "txtData");
    std::string before = g.main().txtData.Text();
    QTest::mouseClick(data->viewport(), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), data);
    QTest::keyClicks(data, QStringLiteral("typed"));
    QCOMPARE(g.main().txtData.Text(), before);
    QTest::keyClick(data, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), view->widgetFor("Command16"));
    // So do the multi-line boxes the operator may edit, such as the history.
    g.program().history().Show();
    QCoreApplication::processEvents();
    auto* history = widget<QPlainTextEdit>(g, "FormHistory", "CallHistory");
    QVERIFY(history->tabChangesFocus());
    QVERIFY(!history->isReadOnly());
  }

  void theSipSettingsButtonIsThereOnlyWithItsWindow() {
    GuiSession g;
    NodeSimulator sim(g.session);
    sim.refresh();
    auto* sip = sim.findChild<QPushButton*>(QStringLiteral("sipSettings"));
    QVERIFY(sip);
    QVERIFY(!sip->isVisibleTo(&sim));
    QVERIFY(sim.findChild<QPushButton*>(QStringLiteral("skypeAnswer"))->isVisibleTo(&sim));
    g.program().addWindow("SipSettings", [](Program& p) -> std::unique_ptr<Window> {
      return std::make_unique<EmptyWindow>(p.registry(), "SipSettings");
    });
    g.session.simulatedSkype = false;  // the SIP client plays the far end: the simulated one's buttons go
    sim.refresh();
    QVERIFY(sip->isVisibleTo(&sim));
    QVERIFY(!sim.findChild<QPushButton*>(QStringLiteral("skypeAnswer"))->isVisibleTo(&sim));
  }

  void theBuddyCallButtonsAreLegibleUnderAHeadingAndTheWindowFits() {
    GuiSession g;
    g.program().buddy().Show();
    QCoreApplication::processEvents();
    for (const char* name : {"Command1", "Command15", "Command17", "Command31"}) {
      auto* b = widget<QPushButton>(g, "Buddy", name);
      QVERIFY2(b->width() >= 30 && b->height() >= 15, name);
    }
    for (auto [heading, button] : {std::pair{"Label4", "Command1"}, std::pair{"Label5", "Command17"}}) {
      auto* label = widget<QLabel>(g, "Buddy", heading);
      auto* b = widget<QPushButton>(g, "Buddy", button);
      QCOMPARE(label->text(), QStringLiteral("Call"));
      QCOMPARE(label->parentWidget(), b->parentWidget());
      QVERIFY(label->geometry().bottom() < b->geometry().top());
      QVERIFY(label->x() >= b->x() &&
              label->x() + label->fontMetrics().horizontalAdvance(label->text()) <= b->geometry().right());
      // The column heading beside it ends before the call column.
      auto* columns = widget<QLabel>(g, "Buddy", heading == std::string("Label4") ? "Label1" : "Label2");
      QVERIFY(columns->geometry().right() < b->x());
    }
    WindowView* view = g.view("Buddy");
    QVERIFY(availableArea(view).contains(QRect(view->pos(), view->size())));
  }

  void theTimeOutLabelIsBoldAndLargerWhileItShowsTheTimeOut() {
    GuiSession g;
    auto* counter = widget<QLabel>(g, "frmMain", "Counter");
    QVERIFY(!counter->font().bold());
    int normal = QFontInfo(counter->font()).pixelSize();
    g.main().Mins.setText("1");
    g.session.node.setCarrier(true);
    g.scheduler.runFor(std::chrono::seconds(60));
    QCOMPARE(g.main().Counter.Caption(), std::string("Time Out"));
    QCOMPARE(counter->text(), QStringLiteral("Time Out"));
    QVERIFY(counter->font().bold());
    QVERIFY(QFontInfo(counter->font()).pixelSize() > normal);
    QVERIFY(counter->fontMetrics().height() <= counter->height());
    QCOMPARE(counter->palette().color(QPalette::Window), QColor(255, 0, 0));  // the colours stay the design's
    g.scheduler.runFor(std::chrono::seconds(3));  // recovered: the counter on the button face again
    QVERIFY(!counter->font().bold());
  }

  void problemsReachTheNodeSimulatorFromAnyThread() {
    GuiSession g;
    NodeSimulator sim(g.session);
    reportProblem("no sound device: speaking silently");  // before anyone listens
    showProblemsIn(sim);
    std::thread([] { reportProblem("the JACK server did not start"); }).join();
    auto* line = sim.findChild<QLabel*>(QStringLiteral("problem"));
    QTRY_COMPARE(line->text(), QStringLiteral("the JACK server did not start"));
    QVERIFY(line->isVisibleTo(&sim));
    QCOMPARE(sim.problems(), QStringLiteral("no sound device: speaking silently\nthe JACK server did not start"));
    stopShowingProblems();
    reportProblem("told to standard error only");
    QCoreApplication::processEvents();
    QCOMPARE(line->text(), QStringLiteral("the JACK server did not start"));
  }
};

QTEST_MAIN(DesktopOperatorTest)
#include "desktop_operator_test.moc"
