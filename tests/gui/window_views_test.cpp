// Views built from any window model: frames and their controls, colours, captions, check box states, windows
// loading and unloading, and message boxes: a question answered No leaves everything running.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "box_answerer.h"
#include "gui/colours.h"
#include "gui/message_box_prompter.h"
#include "gui/window_view.h"
#include "platform/output_log.h"

using namespace qm;
using qm::test::BoxAnswerer;

namespace {

class RecordingLog : public OutputLog {
 public:
  void record(const OutputEvent& e) override { events.push_back(e); }
  std::vector<OutputEvent> events;
};

// A window that asks before it lets the program end, as the announcement window does.
class AskingWindow : public Window {
 public:
  AskingWindow(Registry& r, Prompter& prompter) : Window(r, "Asking", "Asking window"), prompter_(prompter) {
    setGeometry({300, 300, 4000 + 90, 3000 + 435});
    Frame1.setGeometry({120, 120, 3000, 1800});
    Name.setContainer("Frame1");
    Name.setGeometry({120, 300, 1500, 285});
    Name.setToolTip("The station's name");
    Greyed.setContainer("Frame1");
    Greyed.setGeometry({120, 700, 2000, 285});
    Spread.setGeometry({120, 2100, 3000, 255});
    Quit.setGeometry({120, 2500, 1200, 375});
  }
  void closeRequest() override {
    if (prompter_.show("Quit - Are You Sure ?", "Exit Program", BoxIcon::Question, BoxButtons::YesNo) == BoxAnswer::Yes)
      ended = true;
  }

  Frame Frame1{*this, "Frame1", "Settings"};
  TextBox Name{*this, "Name", "Hiram"};
  CheckBox Greyed{*this, "Greyed", "Greyed out", 2};
  Label Spread{*this, "Spread", "Left      Right"};
  CommandButton Quit{*this, "Quit", "&Quit"};
  bool ended = false;

 private:
  Prompter& prompter_;
};

}  // namespace

class WindowViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void systemColoursMapOntoThePaletteRoles() {
    QCOMPARE(systemColourRole(kButtonFace), std::optional(QPalette::Window));
    QCOMPARE(systemColourRole(kWindowBackground), std::optional(QPalette::Base));
    QCOMPARE(systemColourRole(kInfoBackground), std::optional(QPalette::ToolTipBase));
    QCOMPARE(systemColourRole(kWindowText), std::optional(QPalette::WindowText));
    QCOMPARE(systemColourRole(rgb(255, 0, 0)), std::nullopt);
    QPalette p = QApplication::palette();
    QCOMPARE(resolveColour(kInfoBackground, p), p.color(QPalette::ToolTipBase));
    QCOMPARE(resolveColour(rgb(0, 128, 255), p), QColor(0, 128, 255));  // 0x00BBGGRR
    QCOMPARE(resolveColour(0x0000FF00, p), QColor(0, 255, 0));
  }

  void aViewIsBuiltFromTheControlsTheWindowRegistered() {
    MessageBoxPrompter prompter;
    Registry registry;
    WindowViews views(registry);
    AskingWindow w(registry, prompter);
    registry.loaded(w);
    WindowView* view = views.find("Asking");
    QVERIFY(view);
    QVERIFY(!view->isVisible());  // a window loads hidden
    QCOMPARE(view->clientSize(), QSize(267, 200));
    QCOMPARE(view->pos(), QPoint(20, 20));
    auto* name = qobject_cast<QLineEdit*>(view->widgetFor("Name"));
    QVERIFY(name);
    QCOMPARE(name->parentWidget(), view->widgetFor("Frame1"));
    QCOMPARE(name->geometry(), QRect(8, 20, 100, 19));
    QCOMPARE(name->toolTip(), QStringLiteral("The station's name"));
    auto* greyed = qobject_cast<QCheckBox*>(view->widgetFor("Greyed"));
    QCOMPARE(greyed->checkState(), Qt::PartiallyChecked);
    // Clicking a greyed box ticks it.
    greyed->click();
    QCOMPARE(w.Greyed.Value(), 1);
    QCOMPARE(greyed->checkState(), Qt::Checked);
    // Blanks that push two words apart spread them over the label's width.
    auto* spread = qobject_cast<QLabel*>(view->widgetFor("Spread"));
    QCOMPARE(spread->text().simplified(), QStringLiteral("Left Right"));
    QVERIFY(spread->text().size() > QStringLiteral("Left      Right").size());
    QVERIFY(spread->fontMetrics().horizontalAdvance(spread->text()) <= spread->width());

    w.Show();
    QVERIFY(view->isVisible());
    w.setCaption("Renamed");
    QCOMPARE(view->windowTitle(), QStringLiteral("Renamed"));
    w.setGeometry({600, 450, 4090, 3435});
    QCOMPARE(view->pos(), QPoint(40, 30));
    w.Name.setVisible(false);
    QVERIFY(name->isHidden());
    w.Name.setForeColor(rgb(0, 0, 255));
    QCOMPARE(name->palette().color(QPalette::Text), QColor(0, 0, 255));
    w.Frame1.setBackColor(kInfoBackground);
    QCOMPARE(view->widgetFor("Frame1")->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::ToolTipBase));
    w.Hide();
    QVERIFY(!view->isVisible());
  }

  void aQuestionAnsweredNoKeepsEverythingRunning() {
    RecordingLog log;
    MessageBoxPrompter prompter(&log);
    Registry registry;
    WindowViews views(registry);
    AskingWindow w(registry, prompter);
    registry.loaded(w);
    w.Show();
    WindowView* view = views.find("Asking");

    BoxAnswerer no{QMessageBox::No};
    no.arm();
    QVERIFY(!view->close());
    QVERIFY(!w.ended);
    QVERIFY(view->isVisible());
    QVERIFY(w.Visible());
    QCOMPARE(no.title, QStringLiteral("Exit Program"));
    QCOMPARE(no.text, QStringLiteral("Quit - Are You Sure ?"));
    QCOMPARE(no.icon, QMessageBox::Question);
    QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(log.events.size(), std::size_t(1));
    QCOMPARE(log.events[0].kind, std::string("box"));
    QCOMPARE(log.events[0].extra, std::string("question title \"Exit Program\""));

    BoxAnswerer yes{QMessageBox::Yes};
    yes.arm();
    view->close();
    QVERIFY(w.ended);
  }

  void aBoxWithoutTitleCarriesTheApplicationsTitle() {
    MessageBoxPrompter prompter;
    BoxAnswerer ok{QMessageBox::Ok};
    ok.arm();
    BoxAnswer a = prompter.show("Internal Error: cmdConnect\r\nno Skype", "", BoxIcon::Warning, BoxButtons::Ok);
    QCOMPARE(a, BoxAnswer::Ok);
    QCOMPARE(ok.title, QStringLiteral("Quillmere"));
    QCOMPARE(ok.text, QStringLiteral("Internal Error: cmdConnect\nno Skype"));
    QCOMPARE(ok.icon, QMessageBox::Warning);
    QCOMPARE(ok.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void aViewGoesWhenItsWindowIsUnloaded() {
    MessageBoxPrompter prompter;
    Registry registry;
    WindowViews views(registry);
    auto w = std::make_unique<AskingWindow>(registry, prompter);
    registry.loaded(*w);
    w->Show();
    QPointer<WindowView> view = views.find("Asking");
    QVERIFY(view);
    w.reset();
    QVERIFY(!views.find("Asking"));
    QVERIFY(view);  // deleted once the event loop is back, not inside the unload
    QVERIFY(!view->isVisible());
    QVERIFY(!view->model());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!view);
  }
};

QTEST_MAIN(WindowViewsTest)
#include "window_views_test.moc"
