// The main window on the desktop: every control shown under its name with its caption, the operator's edits
// reaching the model and running its change behaviour, the model's changes reaching the widgets, the controls
// below the client area reached with the keyboard, the other windows appearing and going.
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <fstream>

#include "box_answerer.h"
#include "directory/buddy.h"
#include "gui/colours.h"
#include "gui/message_box_prompter.h"
#include "gui_session.h"
#include "skype/mod_main.h"
#include "speech/form1.h"

using namespace qm;
using qm::test::GuiSession;

namespace {

QString shownText(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().simplified();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (auto* c = qobject_cast<QCheckBox*>(w)) return c->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
  if (auto* s = qobject_cast<QScrollBar*>(w)) return QString::number(s->value());
  return {};
}

QString modelText(const Control& c) {
  QString s = QString::fromStdString(c.value());
  // Labels show their words spread over the label; the words and their order are what must match.
  if (c.kind() == ControlKind::CheckBox) return QString::fromStdString(*c.property("Caption"));
  return c.kind() == ControlKind::Label ? s.simplified() : s;
}

template <typename W>
W* widget(GuiSession& g, const char* name) {
  auto* w = qobject_cast<W*>(g.view("frmMain")->widgetFor(name));
  if (!w) qFatal("no widget for frmMain.%s", name);
  return w;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void everyControlIsShownUnderItsNameWithItsCaption() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    QVERIFY(view);
    QVERIFY(view->isVisible());
    QCOMPARE(view->windowTitle(), QString::fromStdString(g.main().Caption()));
    QVERIFY(view->windowTitle().startsWith(QStringLiteral("Quillmere    N0CALL-L   v")));
    int shown = 0;
    for (Control* c : g.main().controls()) {
      if (c->kind() == ControlKind::Timer) {
        QVERIFY(!view->widgetFor(c->name()));
        continue;
      }
      QWidget* w = view->widgetFor(c->name());
      QVERIFY2(w, c->name().c_str());
      QCOMPARE(w->objectName(), QString::fromStdString(c->name()));
      QCOMPARE(shownText(w), modelText(*c));
      ++shown;
    }
    QVERIFY(shown > 60);
    QCOMPARE(shownText(view->widgetFor("cmdSend")), QStringLiteral("&Call again"));
    QCOMPARE(shownText(view->widgetFor("Frame5")), QStringLiteral("DTMF used to control  Quillmere"));
  }

  void controlsSitInTheirFramesAtTheirDesignPlaces() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    QWidget* frame = view->widgetFor("Frame4");
    QWidget* mins = view->widgetFor("Mins");
    QCOMPARE(mins->parentWidget(), frame);
    QCOMPARE(mins->geometry(), QRect(80, 15, 41, 21));  // 1200, 225, 615, 315 twips
    QCOMPARE(view->widgetFor("Label10")->parentWidget(), view->widgetFor("Frame11"));
    QCOMPARE(view->widgetFor("Frame11")->parentWidget(), view->widgetFor("Frame10"));
    // The window shows its design client area, 9015 x 6105 twips, and cannot be resized.
    QCOMPARE(view->clientSize(), QSize(601, 407));
    QCOMPARE(view->minimumSize(), view->maximumSize());
    QVERIFY(view->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(view->windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  void typingIntoABoxChangesTheModelAndRunsItsChangeBehaviour() {
    GuiSession g;
    int changes = 0;
    auto previous = g.main().Mins.Change;
    g.main().Mins.Change = [&] {
      ++changes;
      if (previous) previous();
    };
    auto* mins = widget<QLineEdit>(g, "Mins");
    mins->selectAll();
    QTest::keyClicks(mins, "7");
    QCOMPARE(g.main().Mins.Text(), std::string("7"));
    QCOMPARE(changes, 1);
    QTest::keyClicks(mins, "5");
    QCOMPARE(g.main().Mins.Text(), std::string("75"));
    QCOMPARE(changes, 2);

    // A digits-only box refuses a letter: the model keeps its text and the widget shows it.
    g.main().Mins.setDigitsOnly(true);
    QTest::keyClicks(mins, "x");
    QCOMPARE(g.main().Mins.Text(), std::string("75"));
    QCOMPARE(mins->text(), QStringLiteral("75"));
    QCOMPARE(changes, 2);
  }

  void tickingACheckBoxAndMovingTheScrollBarReachTheModel() {
    GuiSession g;
    int clicks = 0;
    g.main().Check2.Click = [&] { ++clicks; };
    auto* check = widget<QCheckBox>(g, "Check2");
    QCOMPARE(g.main().Check2.Value(), 1);
    QVERIFY(check->isChecked());
    check->click();
    QCOMPARE(g.main().Check2.Value(), 0);
    QVERIFY(!check->isChecked());
    check->click();
    QCOMPARE(g.main().Check2.Value(), 1);
    QCOMPARE(clicks, 2);

    int moves = 0;
    g.main().VoiceSpeed.Change = [&] { ++moves; };
    auto* speed = widget<QScrollBar>(g, "VoiceSpeed");
    QCOMPARE(speed->minimum(), -5);
    QCOMPARE(speed->maximum(), 5);
    speed->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(g.main().VoiceSpeed.Value(), 1);
    QCOMPARE(moves, 1);
  }

  void clickingAButtonRunsItsClickBehaviour() {
    GuiSession g;
    g.main().txtData.setText("-> CALL 123\r\n");
    QTest::mouseClick(widget<QPushButton>(g, "Command16"), Qt::LeftButton);  // "Clear"
    QCOMPARE(g.main().txtData.Text(), std::string());
    QCOMPARE(widget<QPlainTextEdit>(g, "txtData")->toPlainText(), QString());
    // A disabled button ignores the click: it stays disabled on the screen too.
    QVERIFY(!widget<QPushButton>(g, "cmdSend")->isEnabled());
  }

  void modelChangesReachTheWidgetsAtOnce() {
    GuiSession g;
    frmMain& m = g.main();
    auto* ptt = widget<QLineEdit>(g, "PTT");
    QCOMPARE(ptt->text(), QStringLiteral("PTT OFF"));
    // The idle status box has the button face: the palette's window colour, as the rest of the form.
    QCOMPARE(ptt->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Window));
    m.PTT.setText("PTT ON");
    m.PTT.setBackColor(rgb(255, 0, 0));
    QCOMPARE(ptt->text(), QStringLiteral("PTT ON"));
    QCOMPARE(ptt->palette().color(QPalette::Base), QColor(255, 0, 0));
    m.PTT.setBackColor(kButtonFace);
    QCOMPARE(ptt->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Window));

    m.txtSend.setEnabled(true);
    QVERIFY(widget<QLineEdit>(g, "txtSend")->isEnabled());
    m.Command17.setCaption("Hang up");
    QCOMPARE(widget<QPushButton>(g, "Command17")->text(), QStringLiteral("Hang up"));

    // The clock ticks into its labels; a conference as last station hides "Last Station Connected".
    m.Label10.setCaption("*ECHOTEST*");
    g.scheduler.runFor(std::chrono::seconds(1));
    QCOMPARE(widget<QLabel>(g, "Label17")->text(), QString::fromStdString(m.Label17.Caption()));
    QVERIFY(m.Label17.Caption() != "00:00:00");
    QVERIFY(widget<QGroupBox>(g, "Frame11")->isHidden());
    m.Label10.setCaption("W1AW");
    g.scheduler.runFor(std::chrono::seconds(1));
    QVERIFY(!widget<QGroupBox>(g, "Frame11")->isHidden());
  }

  // A call from the telephone that rings shows its caller with Answer and Reject in place of the help lines; Answer
  // puts it on the air, and the display goes when it is no longer waiting.
  void aRingingCallShowsAnswerAndReject() {
    GuiSession g;
    frmMain& m = g.main();
    std::ofstream(g.scratch.path() / "home" / "quillmere_dialrules.ini") << "[INCOMING]\nallow 555* ring\n";
    m.Check1.setValue(1);
    g.scheduler.runFor(std::chrono::seconds(3));  // attached to the simulated Skype
    auto* answer = widget<QPushButton>(g, "cmdAnswer");
    QVERIFY(answer->isHidden() || !answer->isVisibleTo(g.view("frmMain")));
    QVERIFY(widget<QLabel>(g, "Label3")->isVisibleTo(g.view("frmMain")));
    QVERIFY(g.session.skype.incoming(m.skypeLink().mainWindowHandle(), "5551234"));
    g.scheduler.runFor(std::chrono::milliseconds(100));
    QVERIFY(answer->isVisibleTo(g.view("frmMain")));
    QVERIFY(widget<QPushButton>(g, "cmdReject")->isVisibleTo(g.view("frmMain")));
    QCOMPARE(widget<QLabel>(g, "lblIncoming")->text().simplified(), QStringLiteral("From 5551234"));
    QVERIFY(!widget<QLabel>(g, "Label3")->isVisibleTo(g.view("frmMain")));
    answer->click();
    QVERIFY(m.txtData.Text().find("-> ALTER CALL 1 ANSWER") != std::string::npos);
    QVERIFY(!answer->isVisibleTo(g.view("frmMain")));
    QVERIFY(widget<QLabel>(g, "Label3")->isVisibleTo(g.view("frmMain")));
  }

  void theDataPanelShowsItsNewestLineInAFixedPitchFont() {
    GuiSession g;
    frmMain& m = g.main();
    auto* data = widget<QPlainTextEdit>(g, "txtData");
    // Every character as wide as every other (some monospaced faces do not declare themselves fixed-pitch).
    QFontMetrics metrics(data->font());
    QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
    QCOMPARE(data->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    std::string text;
    for (int i = 0; i < 60; ++i) {
      text += "<- CALL 1 STATUS INPROGRESS " + std::to_string(i) + "\r\n";
      m.txtData.setText(text);
      m.txtData.SelStart = text.size();
    }
    QCoreApplication::processEvents();
    QCOMPARE(data->toPlainText(), QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QScrollBar* bar = data->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
  }

  void controlsBelowTheClientAreaAreReachedWithTheKeyboard() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view));
    QScrollBar* scroll = view->viewport()->verticalScrollBar();
    QWidget* connect = view->widgetFor("cmdConnect");
    QVERIFY(connect->mapTo(view->viewport()->widget(), QPoint(0, 0)).y() > view->clientSize().height());
    QCOMPARE(scroll->value(), 0);

    connect->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), connect);
    QRect shown(QPoint(0, 0), view->viewport()->viewport()->size());
    QVERIFY(shown.contains(connect->mapTo(view->viewport()->viewport(), connect->rect().bottomRight())));
    QVERIFY(scroll->value() > 0);

    // Back in the client area, the window shows its design area again.
    view->widgetFor("Mins")->setFocus(Qt::TabFocusReason);
    QCOMPARE(scroll->value(), 0);

    // The access key of a hidden button works: Alt+D presses "&Disconnect" (Qt shows it down, then clicks).
    auto* disconnect = qobject_cast<QPushButton*>(view->widgetFor("cmdDisconnect"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_D, Qt::AltModifier);
    QVERIFY(disconnect->isDown());

    // The tab order is the order of the controls: after the Exit button comes the Call group's box.
    QWidget* exit = view->widgetFor("cmdExit");
    QWidget* next = exit->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    QCOMPARE(next, view->widgetFor("txtSend"));
  }

  void windowsAppearWhenShownAndGoWhenUnloaded() {
    GuiSession g;
    WindowView* buddy = g.view("Buddy");
    QVERIFY(buddy);
    QVERIFY(!buddy->isVisible());
    QTest::mouseClick(widget<QPushButton>(g, "Command19"), Qt::LeftButton);  // "Buddy Setup"
    QVERIFY(g.program().buddy().Visible());
    QVERIFY(buddy->isVisible());
    QCOMPARE(buddy->windowTitle(), QString::fromStdString(g.program().buddy().Caption()));

    // Its close box unloads the buddy window: the view goes, and a new one comes with the next load.
    buddy->close();
    QVERIFY(!g.program().buddyLoaded());
    QVERIFY(!g.view("Buddy"));
    QVERIFY(!buddy->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    g.program().buddy().Show();
    QVERIFY(g.view("Buddy"));
    QVERIFY(g.view("Buddy")->isVisible());

    // Hiding a window in the model hides its view.
    g.program().buddy().Hide();
    QVERIFY(!g.view("Buddy")->isVisible());
  }

  void closingTheMainWindowEndsTheProgram() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    QVERIFY(!view->close());  // the close itself is the model's to carry out
    QVERIFY(g.ended());
    QCOMPARE(g.session.transcript.pending("exit").size(), std::size_t(1));
  }

  void aLargerWindowShowsMoreAndWidensTheDataPanel() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    Rect r = g.main().geometry();
    g.main().setGeometry({r.left, r.top, r.width + 1500, r.height + 750});
    QCOMPARE(view->clientSize(), QSize(701, 457));
    QCOMPARE(view->size(), QSize(701, 457));
    QCOMPARE(view->widgetFor("fraData")->width(), toPixels(4335 + 1500));
  }

  void closingTheAnnouncementWindowAnsweredNoKeepsTheProgramRunning() {
    MessageBoxPrompter boxes;
    GuiSession g(&boxes);
    g.program().form1().Show();
    WindowView* form1 = g.view("Form1");
    QVERIFY(form1 && form1->isVisible());
    qm::test::BoxAnswerer no(QMessageBox::No);
    no.arm();
    QVERIFY(!form1->close());
    QVERIFY(!g.ended());
    QCOMPARE(g.view("Form1"), form1);
    QVERIFY(form1->isVisible());
    QVERIFY(g.view("frmMain")->isVisible());
    // The window asks before it lets the program end (a window without the question just stays).
    if (no.answered()) {
      QCOMPARE(no.title, QStringLiteral("Exit Program"));
      QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
    }
  }

  void minimisingTheWindowTellsTheModel() {
    GuiSession g;
    WindowView* view = g.view("frmMain");
    g.main().setState(WindowState::Minimized);
    QVERIFY(view->isMinimized());
    g.main().setState(WindowState::Normal);
    QVERIFY(!view->isMinimized());
    view->showMinimized();
    QCOMPARE(g.main().state(), WindowState::Minimized);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
