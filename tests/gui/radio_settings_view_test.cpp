// The RadioSettings window on the desktop: built like every window from its model, a box for each key inside its
// frame, none overlapping another or leaving the window; typing and Save write the file.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "gui_session.h"
#include "platform/profile_file.h"
#include "radio/radio_settings.h"
#include "radio/radio_settings_window.h"
#include "scenario/session_actions.h"

using namespace qm;

class RadioSettingsViewTest : public QObject {
  Q_OBJECT

 private slots:
  void everyKeyHasABoxInsideItsFrameAndSaveWritesTheFile() {
    test::GuiSession gui;
    radio::addRadioSettingsWindow(gui.program(), {});
    QVERIFY(runAction(gui.session, {"show", "RadioSettings"}));
    QCoreApplication::processEvents();
    WindowView* view = gui.view("RadioSettings");
    QVERIFY(view);
    QVERIFY(view->isVisible());
    std::vector<QRect> boxes;
    for (const radio::RadioSettingKey& key : radio::radioSettingKeys()) {
      auto* box = qobject_cast<QLineEdit*>(view->widgetFor(std::string("txt") + key.key));
      QVERIFY2(box, key.key);
      QCOMPARE(box->text(), QString::fromUtf8(key.fallback));
      const QRect inFrame = box->geometry();
      QVERIFY2(box->parentWidget()->rect().contains(inFrame), key.key);
      const QRect onCanvas(box->mapTo(view, QPoint(0, 0)), inFrame.size());
      QVERIFY2(QRect(QPoint(0, 0), view->clientSize()).contains(onCanvas), key.key);
      for (const QRect& other : boxes) QVERIFY2(!other.intersects(onCanvas), key.key);
      boxes.push_back(onCanvas);
    }

    auto* ptt = qobject_cast<QLineEdit*>(view->widgetFor("txtPtt"));
    ptt->selectAll();
    QTest::keyClicks(ptt, "cm108:/dev/hidraw0:GPIO3");
    qobject_cast<QPushButton*>(view->widgetFor("cmdSave"))->click();
    QCOMPARE(QString::fromStdString(
                 readProfileString(gui.scratch.path() / "home" / radio::kRadioSettingsFile, "SETTINGS", "Ptt", "")),
             QStringLiteral("cm108:/dev/hidraw0:GPIO3"));
  }
};

QTEST_MAIN(RadioSettingsViewTest)
#include "radio_settings_view_test.moc"
